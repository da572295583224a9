#include "settings/string_table.h"
#include "ui/input_filter.h"

#include <gtest/gtest.h>

namespace kx::ui {
namespace {

TEST(InputFilter, ListsEveryAcceptedExtensionThenAllFiles) {
    settings::loadStringTable();
    const std::string filter = inputFileFilter();
    EXPECT_EQ(filter, "All Supported Files|*.tiff;*.tif|Tagged Image File Format|*.tif;*.tiff|"
                      "All Files (*.*)|*.*");
    EXPECT_EQ(toQtFilter(filter).toStdString(),
              "All Supported Files (*.tiff *.tif);;Tagged Image File Format (*.tif *.tiff);;"
              "All Files (*)");
}

} // namespace
} // namespace kx::ui

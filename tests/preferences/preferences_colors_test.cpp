#include "settings/string_table.h"
#include "tests/support/widget_app.h"
#include "ui/preferences/preferences_colors.h"

#include <QImage>
#include <gtest/gtest.h>

namespace kx::ui::prefs {
namespace {

class PreferencesColors : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::ensureWidgetApplication();
        settings::loadStringTable();
    }
};

TEST_F(PreferencesColors, NamedColoursTakeTheirNamesOthersTheirDigits) {
    const struct {
        const char* colour;
        const char* name;
    } cases[] = {
        {"00FF00", "Lime"},   {"00ff00", "Lime"},   {"FF8000", "Orange"},
        {"8000FF", "Violet"}, {"C0C0C0", "Silver"}, {"123abc", "Color #123ABC"},
        {"", "Black"},        {"FFFFFFF", "Black"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(colourName(c.colour).toStdString(), c.name) << c.colour;
}

TEST_F(PreferencesColors, SwatchIsFilledWithTheColourInsideAGreyEdge) {
    const QImage swatch = colourSwatch("FF8000", 34, 12).toImage();
    ASSERT_EQ(swatch.size(), QSize(34, 12));
    for (const QPoint at : {QPoint(1, 1), QPoint(32, 10), QPoint(17, 6)})
        EXPECT_EQ(swatch.pixelColor(at), QColor(255, 128, 0));
    for (const QPoint at : {QPoint(0, 0), QPoint(33, 11), QPoint(17, 0)})
        EXPECT_EQ(swatch.pixelColor(at), QColor(128, 128, 128));
}

} // namespace
} // namespace kx::ui::prefs
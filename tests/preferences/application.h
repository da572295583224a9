#pragma once

#include "ui/string_table.h"

#include <QApplication>
#include <gtest/gtest.h>

namespace kx::test {

// Deletes the test program's QApplication after the last test, so the platform plugin and the
// font database are released before leak checkers look.
class ApplicationEnvironment : public ::testing::Environment {
public:
    void TearDown() override { delete QCoreApplication::instance(); }
};

// The one QApplication of this test program, on the offscreen platform, with the built-in
// string table loaded. Main thread only.
inline void ensureApplication() {
    if (QCoreApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "kx_preferences_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);
    ui::loadStringTable();
}

} // namespace kx::test

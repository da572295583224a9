#pragma once

#include <QApplication>
#include <gtest/gtest.h>

namespace kx::test {

// Deletes the test program's QApplication after the last test, so that leak checkers see the
// platform plugin's memory released.
class WidgetApplicationEnvironment : public ::testing::Environment {
public:
    void TearDown() override { delete QCoreApplication::instance(); }
};

// Makes sure the test program has a QApplication on the offscreen platform. Call from
// SetUpTestSuite or at the top of a test; main thread only.
//
// Kept in this header rather than a .cpp so the support library itself needs no Qt.
inline void ensureWidgetApplication() {
    if (QCoreApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "kx_ui_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
    ::testing::AddGlobalTestEnvironment(new WidgetApplicationEnvironment);
}

} // namespace kx::test

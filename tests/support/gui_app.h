#pragma once

#include <QGuiApplication>
#include <gtest/gtest.h>

namespace kx::test {

// Deletes the test program's QGuiApplication after the last test: the platform plugin and
// the font database release their memory only then, which keeps leak checkers quiet.
class GuiApplicationEnvironment : public ::testing::Environment {
public:
    void TearDown() override { delete QCoreApplication::instance(); }
};

// Makes sure the test program has a QGuiApplication (fonts need one), on the offscreen
// platform so no display is required. It lives until all tests have run. Call from
// SetUpTestSuite or at the top of a test; main thread only.
//
// Kept in this header rather than a .cpp so the support library itself needs no Qt.
inline void ensureGuiApplication() {
    if (QCoreApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "kx_tests";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);
    ::testing::AddGlobalTestEnvironment(new GuiApplicationEnvironment);
}

} // namespace kx::test

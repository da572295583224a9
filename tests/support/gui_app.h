#pragma once

#include <QGuiApplication>
#include <gtest/gtest.h>

namespace kx::test {

// Deletes the test program's Qt application after the last test: the platform plugin and
// the font database release their memory only then, which keeps leak checkers quiet.
class GuiApplicationEnvironment : public ::testing::Environment {
public:
    void TearDown() override { delete QCoreApplication::instance(); }
};

// Makes sure the test program has a Qt application of kind `App` (QGuiApplication for fonts
// and painting, QApplication for widgets), on the offscreen platform so no display is
// required. It lives until all tests have run. Call from SetUpTestSuite or at the top of a
// test; main thread only.
//
// Kept in this header rather than a .cpp so the support library itself needs no Qt.
template <typename App> void ensureApplication() {
    if (QCoreApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "kx_tests";
    static char* argv[] = {name, nullptr};
    new App(argc, argv);
    ::testing::AddGlobalTestEnvironment(new GuiApplicationEnvironment);
}

inline void ensureGuiApplication() { ensureApplication<QGuiApplication>(); }

} // namespace kx::test

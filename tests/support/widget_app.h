#pragma once

#include <QApplication>

namespace kx::test {

// Makes sure the test program has a QApplication (widgets need one, not just a
// QGuiApplication), on the offscreen platform so no display is required. It lives until the
// program ends. Main thread only.
//
// Kept in this header so the support library itself needs no Qt.
inline void ensureWidgetApplication() {
    if (QCoreApplication::instance())
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "kx_ui_tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

} // namespace kx::test

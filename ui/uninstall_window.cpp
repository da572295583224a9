#include "ui/uninstall_window.h"

#include "ui/dialogs.h"
#include "ui/shell_targets.h"
#include "ui/side_window_layout.h"
#include "ui/string_table.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>

#include <cstdio>
#include <cstdlib>

namespace kx::ui {

namespace {

QString text(std::string_view group, std::string_view key) {
    return QString::fromStdString(lookupText(group, key));
}

bool displayAvailable() {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        if (const char* value = std::getenv(name); value && *value)
            return true;
    }
    return false;
}

} // namespace

UninstallWindow::UninstallWindow() {
    setWindowTitle(text("Uninstall", "Title"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(300, 100);

    m_visit = new QCheckBox(text("Uninstall", "Uninstall Text"), this);
    m_visit->setGeometry(30, 20, 250, 20);
    m_visit->setChecked(true);
    m_next = new QPushButton(text("Uninstall", "Next"), this);
    m_next->setGeometry(200, 60, 80, 25);
    m_next->setDefault(true);
    m_next->setFocus();
    connect(m_next, &QPushButton::clicked, this, [this] {
        if (m_visit->isChecked())
            dialogs().openUrl(uninstallPageUrl());
        accept();
    });
}

int runUninstallMode() {
    if (!displayAvailable()) {
        std::fprintf(stderr, "kestrelix: no display is available for the uninstall page.\n");
        return 0;
    }
    // Qt sees only the program name, never the program's own parameters.
    static int argc = 1;
    static char name[] = "kestrelix";
    static char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    loadStringTable();
    UninstallWindow window;
    centreWindow(window, nullptr);
    window.exec();
    return 0;
}

} // namespace kx::ui

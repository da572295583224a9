#include "ui/uninstall_window.h"

#include "settings/string_table.h"
#include "ui/common/dialogs.h"
#include "ui/common/ui_text.h"
#include "ui/shell_targets.h"
#include "ui/side_window_layout.h"
#include "ui/window_system.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>

namespace kx::ui {

namespace {} // namespace

UninstallWindow::UninstallWindow() {
    setWindowTitle(uiText("Uninstall", "Title"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(300, 100);

    m_visit = new QCheckBox(uiText("Uninstall", "Uninstall Text"), this);
    m_visit->setGeometry(30, 20, 250, 20);
    m_visit->setChecked(true);
    m_next = new QPushButton(uiText("Uninstall", "Next"), this);
    m_next->setGeometry(200, 60, 80, 25);
    m_next->setDefault(true);
    m_next->setFocus();
    connect(m_next, &QPushButton::clicked, this, [this] {
        if (m_visit->isChecked())
            openOnDesktop(uninstallPageUrl());
        accept();
    });
}

int runUninstallMode(const std::string& title) {
    const std::unique_ptr<QApplication> app = startWindowSystem(title);
    if (!app)
        return 0;
    settings::loadStringTable();
    UninstallWindow window;
    centreWindow(window, nullptr);
    window.exec();
    return 0;
}

} // namespace kx::ui

#include "ui/main_window.h"

#include <QLabel>

namespace kx::ui {

MainWindow::MainWindow(const std::string& title, settings::Settings& settings)
    : m_settings(settings) {
    setWindowTitle(QString::fromStdString(title));
    auto* placeholder = new QLabel(this);
    placeholder->setAlignment(Qt::AlignCenter);
    setCentralWidget(placeholder);
}

void MainWindow::restoreGeometryFromSettings() {
    move(m_settings.x, m_settings.y);
    resize(m_settings.width, m_settings.height);
}

void MainWindow::storeGeometryInSettings() const {
    if (windowState() & Qt::WindowMaximized) {
        m_settings.isMaximized = 1;
        return;
    }
    if (windowState() & Qt::WindowMinimized)
        return;
    m_settings.isMaximized = 0;
    m_settings.x = frameGeometry().x();
    m_settings.y = frameGeometry().y();
    m_settings.width = width();
    m_settings.height = height();
}

} // namespace kx::ui

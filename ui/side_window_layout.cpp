#include "ui/side_window_layout.h"

#include <QDialog>

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

namespace kx::ui {

void centreWindow(QWidget& window, const QWidget* parent) {
    QRect area;
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (parent && parent->isVisible())
        area = parent->window()->frameGeometry();
    else if (screen)
        area = screen->availableGeometry();
    if (area.isEmpty())
        return;
    QRect placed(QPoint(0, 0), window.size());
    placed.moveCenter(area.center());
    if (screen) {
        const QRect visible = screen->availableGeometry();
        placed.moveLeft(
            std::max(visible.left(), std::min(placed.left(), visible.right() - placed.width())));
        placed.moveTop(
            std::max(visible.top(), std::min(placed.top(), visible.bottom() - placed.height())));
    }
    window.move(placed.topLeft());
}

void runModalWindow(QDialog& window, QWidget* parent) {
    window.setWindowModality(Qt::ApplicationModal);
    centreWindow(window, parent);
    window.exec();
    if (parent)
        parent->activateWindow();
}

} // namespace kx::ui

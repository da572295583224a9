#include "ui/common/desktop.h"

#include <QGuiApplication>
#include <QScreen>

namespace kx::ui {

settings::DesktopSize primaryDesktop() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    return {screen->size().width(), screen->size().height()};
}

} // namespace kx::ui

#pragma once

#include "settings/settings.h"

namespace kx::ui {

// The size of the primary screen in pixels, for the defaults that depend on it; zero when
// there is no screen. Main thread only, with a QGuiApplication.
settings::DesktopSize primaryDesktop();

} // namespace kx::ui

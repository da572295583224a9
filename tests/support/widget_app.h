#pragma once

#include "tests/support/gui_app.h"

#include <QApplication>

namespace kx::test {

// A QApplication, for test programs that drive widgets (see ensureApplication).
inline void ensureWidgetApplication() { ensureApplication<QApplication>(); }

} // namespace kx::test

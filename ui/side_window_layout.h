#pragma once

#include <QWidget>

namespace kx::ui {

// Puts `window` (already given its fixed size) at the centre of `parent`'s window, or of
// the screen when there is no parent; the position is kept on the screen.
void centreWindow(QWidget& window, const QWidget* parent);

} // namespace kx::ui

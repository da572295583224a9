#pragma once

#include <QWidget>

class QDialog;

namespace kx::ui {

// Puts `window` (already given its fixed size) at the centre of `parent`'s window, or of
// the screen when there is no parent; the position is kept on the screen.
void centreWindow(QWidget& window, const QWidget* parent);

// Shows `window` modal to the whole program, centred on `parent`, and gives `parent` the focus
// back once it closed.
void runModalWindow(QDialog& window, QWidget* parent);

} // namespace kx::ui

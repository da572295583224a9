#include "ui/window_run.h"

namespace kx::ui {

void runWindowMode() {}

} // namespace kx::ui

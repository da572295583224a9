#pragma once

namespace kx::gfx {

// Registers the built-in pictures (":/builtin/NAME.png", "convert_button.png",
// "about_banner.png") with Qt's resource system. Safe to call more than once.
void registerBuiltInPictures();

} // namespace kx::gfx

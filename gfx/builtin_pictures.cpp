#include "gfx/builtin_pictures.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void registerResources() {
    Q_INIT_RESOURCE(builtin_pictures);
}

namespace kx::gfx {

void registerBuiltInPictures() {
    static const bool registered = (registerResources(), true);
    (void)registered;
}

} // namespace kx::gfx

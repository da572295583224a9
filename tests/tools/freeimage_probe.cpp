// A program that reaches FreeImage only through the on-demand loader, as kestrelix does: makes
// one bitmap, prints its width and frees it. The loader's tests run it against libraries that
// cannot serve.

#include <FreeImage.h>

#include <cstdio>

int main() {
    FIBITMAP* bitmap = FreeImage_Allocate(7, 3, 24);
    std::printf("%u\n", FreeImage_GetWidth(bitmap));
    FreeImage_Unload(bitmap);
    return 0;
}

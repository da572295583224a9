#include "bench/loop_program.h"
#include "imaging/bitmap.h"

// The floor the converter is measured against: FreeImage alone, with no chain and no decoder
// process.
//   freeimage_loop IN.tif OUT_FOLDER
// Saves every page of IN.tif as OUT_FOLDER/page-N.bmp (N from 1). Exit status 0 when every page
// was saved, 1 when the file or a page failed, 2 on a usage error.

#include <FreeImage.h>
#include <cstdio>
#include <memory>
#include <string>

namespace {

struct MultiBitmapCloser {
    void operator()(FIMULTIBITMAP* multi) const { FreeImage_CloseMultiBitmap(multi, 0); }
};

using MultiBitmap = std::unique_ptr<FIMULTIBITMAP, MultiBitmapCloser>;

// Locks, copies and releases at once, as a converter that works on its own copy of each page
// has to; saving straight from the locked page would flatter the floor.
bool savePage(FIMULTIBITMAP* multi, int index, const std::string& path) {
    FIBITMAP* locked = FreeImage_LockPage(multi, index);
    if (!locked)
        return false;
    kx::imaging::Bitmap copy(FreeImage_Clone(locked));
    FreeImage_UnlockPage(multi, locked, FALSE);
    return copy && FreeImage_Save(FIF_BMP, copy.get(), path.c_str(), BMP_DEFAULT);
}

} // namespace

int main(int argc, char** argv) {
    if (!kx::bench::loopArguments(argc, argv))
        return 2;
    // Read-only with the page cache in memory, as the converter opens its input.
    MultiBitmap multi(FreeImage_OpenMultiBitmap(FIF_TIFF, argv[1], FALSE, TRUE, TRUE, 0));
    if (!multi) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    const std::string folder = argv[2];
    const int count = FreeImage_GetPageCount(multi.get());
    int failed = 0;
    for (int index = 0; index < count; ++index) {
        if (!savePage(multi.get(), index, kx::bench::pagePath(folder, index + 1))) {
            std::fprintf(stderr, "page %d failed\n", index + 1);
            ++failed;
        }
    }
    return count > 0 && failed == 0 ? 0 : 1;
}

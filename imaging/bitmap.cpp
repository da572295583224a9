#include "imaging/bitmap.h"

#include <sys/mman.h>

#include <mutex>
#include <unordered_map>
#include <utility>

namespace kx::imaging {

namespace {

// Pages handed over by the decoder process are used where they lie, in a mapping of the
// memory file it sent, instead of being copied once more; the mapping lives as long as the
// bitmap. Few bitmaps are ever in here at once.
struct Mappings {
    std::mutex lock;
    std::unordered_map<FIBITMAP*, std::pair<void*, size_t>> byBitmap;
};

Mappings& mappings() {
    static Mappings all;
    return all;
}

} // namespace

void adoptPixelMapping(FIBITMAP* bitmap, void* address, size_t size) {
    Mappings& all = mappings();
    std::lock_guard guard(all.lock);
    all.byBitmap[bitmap] = {address, size};
}

void unloadBitmap(FIBITMAP* bitmap) {
    if (!bitmap)
        return;
    std::pair<void*, size_t> mapping{nullptr, 0};
    {
        Mappings& all = mappings();
        std::lock_guard guard(all.lock);
        if (const auto it = all.byBitmap.find(bitmap); it != all.byBitmap.end()) {
            mapping = it->second;
            all.byBitmap.erase(it);
        }
    }
    FreeImage_Unload(bitmap);
    if (mapping.first)
        munmap(mapping.first, mapping.second);
}

} // namespace kx::imaging
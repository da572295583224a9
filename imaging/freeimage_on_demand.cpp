// FreeImage, opened the first time the program calls it. The program and the decoder link these
// forwarders instead of the library itself, so that a run which never touches a bitmap (the
// version line, the usage text, a page that needs no FreeImage step) does not pay for loading
// FreeImage and the libraries it depends on. Each forwarder has FreeImage's own signature, finds
// its function once and calls it; the drawing and window modules, which link FreeImage
// normally, share the same loaded copy, since opening a library that is already loaded returns
// that library.

#include <FreeImage.h>

#include <dlfcn.h>
#include <sysexits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace {

constexpr const char* k_libraryName = "libfreeimage.so.3";

// The program cannot go on without its image library: an installation fault, said on standard
// error in one line before the process ends with EX_SOFTWARE.
[[noreturn]] void stopWithoutLibrary(const std::string& why) {
    std::fprintf(stderr, "%s: the image library cannot be loaded: %s.\n",
                 program_invocation_short_name, why.c_str());
    std::fflush(stderr);
    _exit(EX_SOFTWARE);
}

void* openLibrary() {
    // Global binding, so that the modules' own references to FreeImage find this copy.
    void* library = dlopen(k_libraryName, RTLD_NOW | RTLD_GLOBAL);
    if (!library) {
        const char* reason = dlerror();
        stopWithoutLibrary(reason ? reason : k_libraryName);
    }
    return library;
}

void* library() {
    static void* const opened = openLibrary(); // opened once, whichever thread comes first
    return opened;
}

template <typename Function> Function libraryFunction(const char* name) {
    void* const opened = library();
    dlerror();
    void* address = dlsym(opened, name);
    if (!address)
        stopWithoutLibrary(std::string(k_libraryName) + " has no function " + name);
    return reinterpret_cast<Function>(address);
}

} // namespace

// Forwards `name` to the library's function of that name, found on the first call.
#define KX_FORWARD(Result, name, parameters, arguments)                                            \
    Result DLL_CALLCONV name parameters {                                                          \
        static const auto real = libraryFunction<decltype(&name)>(#name);                          \
        return real arguments;                                                                     \
    }

// Result, name, parameters, arguments: one row for each FreeImage function the program and the
// decoder call. A row whose signature differs from <FreeImage.h> does not compile.
extern "C" {
// clang-format off
KX_FORWARD(BOOL, FreeImage_AcquireMemory, (FIMEMORY* stream, BYTE** data, DWORD* size_in_bytes), (stream, data, size_in_bytes))
KX_FORWARD(BOOL, FreeImage_AdjustColors, (FIBITMAP* dib, double brightness, double contrast, double gamma, BOOL invert), (dib, brightness, contrast, gamma, invert))
KX_FORWARD(FIBITMAP*, FreeImage_Allocate, (int width, int height, int bpp, unsigned red_mask, unsigned green_mask, unsigned blue_mask), (width, height, bpp, red_mask, green_mask, blue_mask))
KX_FORWARD(FIBITMAP*, FreeImage_AllocateT, (FREE_IMAGE_TYPE type, int width, int height, int bpp, unsigned red_mask, unsigned green_mask, unsigned blue_mask), (type, width, height, bpp, red_mask, green_mask, blue_mask))
KX_FORWARD(FIBITMAP*, FreeImage_Clone, (FIBITMAP* dib), (dib))
KX_FORWARD(void, FreeImage_CloseMemory, (FIMEMORY* stream), (stream))
KX_FORWARD(BOOL, FreeImage_CloseMultiBitmap, (FIMULTIBITMAP* bitmap, int flags), (bitmap, flags))
KX_FORWARD(FIBITMAP*, FreeImage_ColorQuantizeEx, (FIBITMAP* dib, FREE_IMAGE_QUANTIZE quantize, int PaletteSize, int ReserveSize, RGBQUAD* ReservePalette), (dib, quantize, PaletteSize, ReserveSize, ReservePalette))
KX_FORWARD(FIBITMAP*, FreeImage_Composite, (FIBITMAP* fg, BOOL useFileBkg, RGBQUAD* appBkColor, FIBITMAP* bg), (fg, useFileBkg, appBkColor, bg))
KX_FORWARD(FIBITMAP*, FreeImage_ConvertFromRawBitsEx, (BOOL copySource, BYTE* bits, FREE_IMAGE_TYPE type, int width, int height, int pitch, unsigned bpp, unsigned red_mask, unsigned green_mask, unsigned blue_mask, BOOL topdown), (copySource, bits, type, width, height, pitch, bpp, red_mask, green_mask, blue_mask, topdown))
KX_FORWARD(FIBITMAP*, FreeImage_ConvertTo16Bits555, (FIBITMAP* dib), (dib))
KX_FORWARD(FIBITMAP*, FreeImage_ConvertTo16Bits565, (FIBITMAP* dib), (dib))
KX_FORWARD(FIBITMAP*, FreeImage_ConvertTo24Bits, (FIBITMAP* dib), (dib))
KX_FORWARD(FIBITMAP*, FreeImage_ConvertTo32Bits, (FIBITMAP* dib), (dib))
KX_FORWARD(FIBITMAP*, FreeImage_ConvertTo4Bits, (FIBITMAP* dib), (dib))
KX_FORWARD(FIBITMAP*, FreeImage_ConvertTo8Bits, (FIBITMAP* dib), (dib))
KX_FORWARD(FIBITMAP*, FreeImage_ConvertToGreyscale, (FIBITMAP* dib), (dib))
KX_FORWARD(FIBITMAP*, FreeImage_ConvertToRGB16, (FIBITMAP* dib), (dib))
KX_FORWARD(FIBITMAP*, FreeImage_ConvertToRGBF, (FIBITMAP* dib), (dib))
KX_FORWARD(FIBITMAP*, FreeImage_ConvertToStandardType, (FIBITMAP* src, BOOL scale_linear), (src, scale_linear))
KX_FORWARD(FIBITMAP*, FreeImage_Copy, (FIBITMAP* dib, int left, int top, int right, int bottom), (dib, left, top, right, bottom))
KX_FORWARD(FIBITMAP*, FreeImage_Dither, (FIBITMAP* dib, FREE_IMAGE_DITHER algorithm), (dib, algorithm))
KX_FORWARD(BOOL, FreeImage_FIFSupportsNoPixels, (FREE_IMAGE_FORMAT fif), (fif))
KX_FORWARD(BOOL, FreeImage_FIFSupportsReading, (FREE_IMAGE_FORMAT fif), (fif))
KX_FORWARD(BOOL, FreeImage_FlipHorizontal, (FIBITMAP* dib), (dib))
KX_FORWARD(BOOL, FreeImage_FlipVertical, (FIBITMAP* dib), (dib))
KX_FORWARD(unsigned, FreeImage_GetBPP, (FIBITMAP* dib), (dib))
KX_FORWARD(BOOL, FreeImage_GetBackgroundColor, (FIBITMAP* dib, RGBQUAD* bkcolor), (dib, bkcolor))
KX_FORWARD(BYTE*, FreeImage_GetBits, (FIBITMAP* dib), (dib))
KX_FORWARD(unsigned, FreeImage_GetBlueMask, (FIBITMAP* dib), (dib))
KX_FORWARD(FREE_IMAGE_COLOR_TYPE, FreeImage_GetColorType, (FIBITMAP* dib), (dib))
KX_FORWARD(unsigned, FreeImage_GetColorsUsed, (FIBITMAP* dib), (dib))
KX_FORWARD(unsigned, FreeImage_GetDotsPerMeterX, (FIBITMAP* dib), (dib))
KX_FORWARD(unsigned, FreeImage_GetDotsPerMeterY, (FIBITMAP* dib), (dib))
KX_FORWARD(FREE_IMAGE_FORMAT, FreeImage_GetFIFFromFilename, (const char* filename), (filename))
KX_FORWARD(FREE_IMAGE_FORMAT, FreeImage_GetFileType, (const char* filename, int size), (filename, size))
KX_FORWARD(unsigned, FreeImage_GetGreenMask, (FIBITMAP* dib), (dib))
KX_FORWARD(unsigned, FreeImage_GetHeight, (FIBITMAP* dib), (dib))
KX_FORWARD(FREE_IMAGE_TYPE, FreeImage_GetImageType, (FIBITMAP* dib), (dib))
KX_FORWARD(int, FreeImage_GetPageCount, (FIMULTIBITMAP* bitmap), (bitmap))
KX_FORWARD(RGBQUAD*, FreeImage_GetPalette, (FIBITMAP* dib), (dib))
KX_FORWARD(unsigned, FreeImage_GetPitch, (FIBITMAP* dib), (dib))
KX_FORWARD(unsigned, FreeImage_GetRedMask, (FIBITMAP* dib), (dib))
KX_FORWARD(BYTE*, FreeImage_GetScanLine, (FIBITMAP* dib, int scanline), (dib, scanline))
KX_FORWARD(unsigned, FreeImage_GetTransparencyCount, (FIBITMAP* dib), (dib))
KX_FORWARD(BYTE*, FreeImage_GetTransparencyTable, (FIBITMAP* dib), (dib))
KX_FORWARD(unsigned, FreeImage_GetWidth, (FIBITMAP* dib), (dib))
KX_FORWARD(BOOL, FreeImage_HasPixels, (FIBITMAP* dib), (dib))
KX_FORWARD(BOOL, FreeImage_IsTransparent, (FIBITMAP* dib), (dib))
KX_FORWARD(FIBITMAP*, FreeImage_Load, (FREE_IMAGE_FORMAT fif, const char* filename, int flags), (fif, filename, flags))
KX_FORWARD(FIBITMAP*, FreeImage_LoadFromHandle, (FREE_IMAGE_FORMAT fif, FreeImageIO* io, fi_handle handle, int flags), (fif, io, handle, flags))
KX_FORWARD(FIBITMAP*, FreeImage_LoadFromMemory, (FREE_IMAGE_FORMAT fif, FIMEMORY* stream, int flags), (fif, stream, flags))
KX_FORWARD(FIBITMAP*, FreeImage_LockPage, (FIMULTIBITMAP* bitmap, int page), (bitmap, page))
KX_FORWARD(FIMEMORY*, FreeImage_OpenMemory, (BYTE* data, DWORD size_in_bytes), (data, size_in_bytes))
KX_FORWARD(FIMULTIBITMAP*, FreeImage_OpenMultiBitmap, (FREE_IMAGE_FORMAT fif, const char* filename, BOOL create_new, BOOL read_only, BOOL keep_cache_in_memory, int flags), (fif, filename, create_new, read_only, keep_cache_in_memory, flags))
KX_FORWARD(BOOL, FreeImage_Paste, (FIBITMAP* dst, FIBITMAP* src, int left, int top, int alpha), (dst, src, left, top, alpha))
KX_FORWARD(FIBITMAP*, FreeImage_Rescale, (FIBITMAP* dib, int dst_width, int dst_height, FREE_IMAGE_FILTER filter), (dib, dst_width, dst_height, filter))
KX_FORWARD(FIBITMAP*, FreeImage_Rotate, (FIBITMAP* dib, double angle, const void* bkcolor), (dib, angle, bkcolor))
KX_FORWARD(FIBITMAP*, FreeImage_RotateEx, (FIBITMAP* dib, double angle, double x_shift, double y_shift, double x_origin, double y_origin, BOOL use_mask), (dib, angle, x_shift, y_shift, x_origin, y_origin, use_mask))
KX_FORWARD(BOOL, FreeImage_SaveToHandle, (FREE_IMAGE_FORMAT fif, FIBITMAP* dib, FreeImageIO* io, fi_handle handle, int flags), (fif, dib, io, handle, flags))
KX_FORWARD(BOOL, FreeImage_SaveToMemory, (FREE_IMAGE_FORMAT fif, FIBITMAP* dib, FIMEMORY* stream, int flags), (fif, dib, stream, flags))
KX_FORWARD(BOOL, FreeImage_SeekMemory, (FIMEMORY* stream, long offset, int origin), (stream, offset, origin))
KX_FORWARD(BOOL, FreeImage_SetBackgroundColor, (FIBITMAP* dib, RGBQUAD* bkcolor), (dib, bkcolor))
KX_FORWARD(void, FreeImage_SetDotsPerMeterX, (FIBITMAP* dib, unsigned res), (dib, res))
KX_FORWARD(void, FreeImage_SetDotsPerMeterY, (FIBITMAP* dib, unsigned res), (dib, res))
KX_FORWARD(void, FreeImage_SetOutputMessage, (FreeImage_OutputMessageFunction omf), (omf))
KX_FORWARD(void, FreeImage_SetTransparencyTable, (FIBITMAP* dib, BYTE* table, int count), (dib, table, count))
KX_FORWARD(void, FreeImage_SetTransparent, (FIBITMAP* dib, BOOL enabled), (dib, enabled))
KX_FORWARD(FIBITMAP*, FreeImage_Threshold, (FIBITMAP* dib, BYTE T), (dib, T))
KX_FORWARD(FIBITMAP*, FreeImage_TmoDrago03, (FIBITMAP* src, double gamma, double exposure), (src, gamma, exposure))
KX_FORWARD(void, FreeImage_Unload, (FIBITMAP* dib), (dib))
KX_FORWARD(void, FreeImage_UnlockPage, (FIMULTIBITMAP* bitmap, FIBITMAP* data, BOOL changed), (bitmap, data, changed))
// clang-format on
}

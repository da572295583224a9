#include "imaging/page_encoding.h"

#include "imaging/bit_depth.h"
#include "imaging/saving.h"
#include "imaging/standard_type.h"

#include <cerrno>
#include <cstring>

namespace kx::imaging {

EncodedPage encodeUntouchedPage(Bitmap page, const SaveRecipe& recipe, int file, std::string& why) {
    EncodedPage encoded;
    if (!page)
        return encoded;
    encoded.width = FreeImage_GetWidth(page.get());
    encoded.height = FreeImage_GetHeight(page.get());
    encoded.sourceDepth = static_cast<int32_t>(FreeImage_GetBPP(page.get()));
    encoded.sourceGrey = isGreyscale(page.get());
    if (encoded.width == 0 || encoded.height == 0)
        return encoded; // nothing to convert; the worker skips it

    SaveTarget job;
    job.outputFormatKey = recipe.formatKey;
    job.freeImageFormat = recipe.freeImageFormat;
    job.targetDepth = recipe.targetDepth;
    job.autoDepth = recipe.targetDepth == 0;
    job.saveFlags = recipe.saveFlags;
    job.sourceDepth = encoded.sourceDepth;
    job.sourceGrey = encoded.sourceGrey;
    settings::Settings settings;
    settings.bmpColorTable = recipe.bmpColorTable;

    page = convertToTargetDepth(toneMap(standardizeGreyscale(std::move(page))), job);
    why = pageSaveProblem(page.get(), job);
    if (!why.empty())
        return encoded;
    if (!encodePage(page.get(), file, job, settings, why) && why.empty())
        why = std::string("the page could not be saved: ") + std::strerror(errno);
    return encoded;
}

} // namespace kx::imaging

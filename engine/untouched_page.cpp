#include "engine/untouched_page.h"

#include "engine/geometry.h"
#include "imaging/page_source.h"

#include <cstring>

namespace kx::engine {

bool chainLeavesPagesUntouched(const settings::Settings& s) {
    const bool watermarked = s.doWatermark == settings::WatermarkType::Text ||
                             s.doWatermark == settings::WatermarkType::Image;
    return !rotationWanted(s) && !s.doImageResize && !s.doImageFlipHorizontal &&
           !s.doImageFlipVertical && !s.doImageColorCorrection && !s.doImageGreyscale &&
           !s.doImageThreshold && !s.doImageDither && s.doFrame == settings::FrameType::None &&
           !watermarked;
}

imaging::SaveRecipe saveRecipeOf(const JobState& job, const settings::Settings& settings) {
    imaging::SaveRecipe recipe;
    recipe.freeImageFormat = job.freeImageFormat;
    recipe.targetDepth = job.autoDepth ? 0 : job.targetDepth;
    recipe.saveFlags = job.saveFlags;
    recipe.bmpColorTable = settings.bmpColorTable;
    std::strncpy(recipe.formatKey, job.outputFormatKey.c_str(), sizeof recipe.formatKey - 1);
    return recipe;
}

} // namespace kx::engine

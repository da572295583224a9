#pragma once

#include "decoder/loading.h"
#include "engine/bitmap.h"
#include "engine/job_state.h"
#include "settings/settings.h"

#include <string>

namespace kx::engine {

// Pages of a run whose chain changes nothing between loading and the depth conversion need
// no trip through the program: the decoder saves them itself and hands over the finished
// file.

// True when every step of the chain between loading and the depth conversion leaves pages as
// they are with these settings (no rotation, resizing, flipping, colour work, frame or
// watermark).
bool chainLeavesPagesUntouched(const settings::Settings& settings);

// The run's output choices, as the decoder needs them.
SaveRecipe saveRecipeOf(const JobState& job, const settings::Settings& settings);

// Greyscale as loaded: one sample per pixel (16-bit, 32-bit and float grey types), or a
// standard bitmap whose palette is a grey ramp.
bool isGreyscale(FIBITMAP* page);

// Brings a loaded page through what the untouched chain still does (greyscale
// standardisation, tone mapping, the depth conversion) and saves it by `recipe` into `file`.
// The facts of the page as loaded; `problem` says why when the page cannot be converted or
// saved (`file` may then hold a part of it). A null page gives empty facts.
EncodedPage encodeUntouchedPage(Bitmap page, const SaveRecipe& recipe, int file,
                                std::string& problem);

} // namespace kx::engine

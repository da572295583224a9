#pragma once

#include "imaging/bitmap.h"
#include "imaging/page_source.h"

#include <string>

namespace kx::imaging {

// Pages of a run whose chain changes nothing between loading and the depth conversion are
// saved where they were decoded: these are the steps that still apply to them.

// Brings a loaded page through what the untouched chain still does (greyscale
// standardisation, tone mapping, the depth conversion) and saves it by `recipe` into `file`.
// The facts of the page as loaded; `why` says why when the page cannot be converted or
// saved (`file` may then hold a part of it). A null page gives empty facts.
EncodedPage encodeUntouchedPage(Bitmap page, const SaveRecipe& recipe, int file, std::string& why);

} // namespace kx::imaging

#pragma once

#include "engine/job_state.h"
#include "imaging/page_source.h"
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
imaging::SaveRecipe saveRecipeOf(const JobState& job, const settings::Settings& settings);

} // namespace kx::engine

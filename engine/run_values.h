#pragma once

#include "engine/job_state.h"
#include "settings/settings.h"

#include <cstdint>
#include <string_view>

namespace kx::engine {

// The bit-depth setting of an output format key (`BMP BPP` for "bmp", ...); null for a key
// without one.
int32_t settings::Settings::*depthSettingOf(std::string_view formatKey);

// Fixes the run fields of `job` for its output format key: FreeImage format (-1 for an
// unknown key), target depth, save flags and automatic depth. Both starters call it before
// the worker starts.
void setRunValues(JobState& job, const settings::Settings& settings);

} // namespace kx::engine

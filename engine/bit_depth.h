#pragma once

#include "engine/bitmap.h"
#include "engine/job_state.h"

namespace kx::engine {

// Brings the page to the run's target depth. With automatic depth the target is first
// resolved from the page's source depth and written to `job.targetDepth`. Returns null when
// the depth cannot be reached; a null page passes through.
Bitmap convertToTargetDepth(Bitmap page, JobState& job);

} // namespace kx::engine

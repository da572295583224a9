#pragma once

#include "imaging/bitmap.h"
#include "imaging/save_target.h"

namespace kx::imaging {

// With automatic depth, resolves the depth the page will be saved with from its source depth
// and writes it to `job.targetDepth`: the nearest depth the output format allows, except that
// a greyscale source deeper than 8 bits is saved as 8-bit grey. Does nothing otherwise.
void resolveTargetDepth(SaveTarget& job);

// Brings the page to the run's target depth. With automatic depth the target is first
// resolved from the page's source depth and written to `job.targetDepth`. At 1, 4 and 8 bits a
// page with no more distinct colours than the palette holds keeps exactly those colours;
// otherwise 1 bit is dithered, a grey page gets evenly spaced grey levels at 4 bits, and a
// colour page is quantised (Wu) to 16 or 256 colours. Returns null when the depth cannot be
// reached; a null page passes through.
Bitmap convertToTargetDepth(Bitmap page, SaveTarget& job);

} // namespace kx::imaging
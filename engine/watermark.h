#pragma once

#include "decoder/client/contained_decoder.h"
#include "engine/job_state.h"
#include "imaging/bitmap.h"
#include "settings/settings.h"

#include <memory>
#include <string>

namespace kx::engine {

// Why a watermark cannot be prepared.
enum class WatermarkProblem { None, InvalidFont, EmptyImage, InvalidImage };

// The resources a run's watermark needs, made before the worker starts and released after it
// ends. Both are held by the drawing module (see drawing_module.h); a text watermark needs
// Qt's GUI layer running (DrawingSupport) for its font.
struct PreparedWatermark {
    std::shared_ptr<void> font;  // a text watermark's font
    std::shared_ptr<void> image; // the decoded watermark image, drawn on every page
    std::string problem;         // why the image was refused, when it was
};

// Loads the font of a text watermark, or decodes the image of an image watermark once for the
// whole run. The image is decoded in a decoder process (see decodeImageContained), so a
// damaged file can neither crash the program nor print anything; a file that is missing,
// empty or not a decodable image is InvalidImage. `decoderPath` is for tests.
WatermarkProblem prepareWatermark(const settings::Settings& settings, PreparedWatermark& out,
                                  const std::string& decoderPath = decoder::defaultDecoderPath());

// The watermark text with the mask tokens of the current page replaced.
std::string watermarkText(const settings::Settings& settings, const JobState& job);

// Draws the text or image watermark at its position; a missing font or an image that was not
// prepared leaves the page undecorated. Without the drawing module a page that needs a
// watermark comes back null. A null page passes through.
imaging::Bitmap drawWatermark(imaging::Bitmap page, const settings::Settings& settings,
                              const JobState& job, const PreparedWatermark& prepared);

} // namespace kx::engine

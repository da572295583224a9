#include "engine/run_check.h"

#include "engine/run_values.h"
#include "imaging/format_registry.h"

#include <algorithm>
#include <filesystem>
#include <vector>

namespace kx::engine {

namespace {

bool isPercentage(int32_t value) {
    return value >= -100 && value <= 100;
}

} // namespace

RunProblem outputFolderProblem(const std::string& folder) {
    if (folder.empty())
        return RunProblem::EmptyOutputFolder;
    std::error_code error;
    return std::filesystem::is_directory(folder, error) ? RunProblem::None
                                                        : RunProblem::MissingOutputFolder;
}

RunProblem runSettingsProblem(const settings::Settings& s, std::string_view outputFormatKey) {
    const auto& offered = settings::outputFormatList();
    if (std::find(offered.begin(), offered.end(), outputFormatKey) == offered.end())
        return RunProblem::InvalidConversionType;
    const int32_t settings::Settings::*depthField = depthSettingOf(outputFormatKey);
    const int32_t depth = depthField ? s.*depthField : 0;
    const std::vector<int> allowed = imaging::allowedDepths(outputFormatKey);
    if (depth != 0 && std::find(allowed.begin(), allowed.end(), depth) == allowed.end())
        return RunProblem::InvalidDepth;
    if (s.doImageResize) {
        if (s.imageWidth == 0)
            return RunProblem::InvalidWidth;
        if (s.imageHeight == 0)
            return RunProblem::InvalidHeight;
    }
    if (s.doImageColorCorrection) {
        if (!isPercentage(s.imageBrightness))
            return RunProblem::InvalidBrightness;
        if (!isPercentage(s.imageContrast))
            return RunProblem::InvalidContrast;
        // Written as a negated range so that NaN is refused too.
        if (!(s.imageGamma >= 0.01f && s.imageGamma <= 9.99f))
            return RunProblem::InvalidGamma;
    }
    return RunProblem::None;
}

} // namespace kx::engine

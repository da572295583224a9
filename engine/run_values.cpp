#include "engine/run_values.h"

#include "imaging/format_registry.h"
#include "imaging/saving.h"

#include <utility>

namespace kx::engine {

using settings::Settings;

int32_t Settings::*depthSettingOf(std::string_view formatKey) {
    static const std::pair<std::string_view, int32_t Settings::*> k_table[] = {
        {"bmp", &Settings::bmpBpp},   {"dds", &Settings::ddsBpp},   {"exr", &Settings::exrBpp},
        {"gif", &Settings::gifBpp},   {"hdr", &Settings::hdrBpp},   {"ico", &Settings::icoBpp},
        {"j2k", &Settings::j2kBpp},   {"jng", &Settings::jngBpp},   {"jp2", &Settings::jp2Bpp},
        {"jpg", &Settings::jpgBpp},   {"jxr", &Settings::jxrBpp},   {"pbm", &Settings::pbmBpp},
        {"pcx", &Settings::pcxBpp},   {"pfm", &Settings::pfmBpp},   {"pgm", &Settings::pgmBpp},
        {"png", &Settings::pngBpp},   {"ppm", &Settings::ppmBpp},   {"psd", &Settings::psdBpp},
        {"tga", &Settings::tgaBpp},   {"tiff", &Settings::tiffBpp}, {"wbmp", &Settings::wbmpBpp},
        {"webp", &Settings::webpBpp}, {"xpm", &Settings::xpmBpp},
    };
    for (const auto& [name, field] : k_table) {
        if (name == formatKey)
            return field;
    }
    return nullptr;
}

void setRunValues(JobState& job, const Settings& settings) {
    const std::string& key = job.outputFormatKey;
    const auto format = imaging::findOutputFormat(key);
    const int32_t Settings::*field = depthSettingOf(key);
    job.freeImageFormat = format ? format->format : -1;
    job.targetDepth = field ? settings.*field : 0;
    job.saveFlags = imaging::computeSaveFlags(key, settings);
    job.autoDepth = job.targetDepth == 0;
}

} // namespace kx::engine

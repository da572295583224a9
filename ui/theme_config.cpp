#include "ui/theme_config.h"

#include "base/text.h"

namespace kx::ui {

namespace {

// Position of `needle` in `text` at or after `from`, ignoring letter case; npos when absent.
std::size_t findNoCase(std::string_view text, std::string_view needle, std::size_t from) {
    if (needle.size() > text.size())
        return std::string_view::npos;
    for (std::size_t at = from; at + needle.size() <= text.size(); ++at) {
        if (base::equalsIgnoringCase(text.substr(at, needle.size()), needle))
            return at;
    }
    return std::string_view::npos;
}

} // namespace

std::string readThemeValue(std::string_view text, std::string_view section, std::string_view key) {
    std::string header = "[";
    header += section;
    header += ']';
    const std::size_t start = findNoCase(text, header, 0);
    if (start == std::string_view::npos)
        return {};
    // The section runs to the next "[" after the header's own bracket.
    std::size_t end = text.find('[', start + 1);
    if (end == std::string_view::npos)
        end = text.size();

    const std::string lineStart = "\r\n" + std::string(key);
    const std::size_t keyAt = findNoCase(text, lineStart, start);
    if (keyAt == std::string_view::npos || keyAt + lineStart.size() > end)
        return {};

    const std::size_t lineBegin = keyAt + 2;
    std::size_t lineEnd = text.find("\r\n", lineBegin);
    if (lineEnd == std::string_view::npos)
        lineEnd = text.size();
    const std::string_view line = text.substr(lineBegin, lineEnd - lineBegin);

    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return {};
    std::string_view value = line.substr(equals + 1);
    value = value.substr(0, value.find('='));

    std::string result(base::trimmed(value));
    std::erase_if(result, [](char c) { return c == '\t' || c == '\r' || c == '\n'; });
    return result;
}

std::string scaledPictureFileName(std::string_view name, int pixels, int scale) {
    if (base::lowerCase(name).ends_with(".png"))
        return std::string(name.substr(0, name.size() - 4)) + "@" + std::to_string(scale) + "x.png";
    return completePictureFileName(name, pixels * scale);
}

std::string completePictureFileName(std::string_view name, int pixels) {
    if (base::lowerCase(name).ends_with(".png"))
        return std::string(name);
    return std::string(name) + "_" + std::to_string(pixels) + ".png";
}

} // namespace kx::ui

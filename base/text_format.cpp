#include "base/text_format.h"

#include "base/text.h"

namespace kx::base {

namespace {

std::string replaceAll(std::string text, std::string_view placeholder, std::string_view value) {
    std::string result;
    size_t at = 0;
    while (at < text.size()) {
        if (equalsIgnoringCase(std::string_view(text).substr(at, placeholder.size()),
                               placeholder)) {
            result += value;
            at += placeholder.size();
        } else {
            result += text[at++];
        }
    }
    return result;
}

} // namespace

std::string formatText(std::string_view format, std::string_view s1, std::string_view s2,
                       std::string_view s3, std::string_view s4) {
    std::string text(format);
    const std::string_view args[] = {s1, s2, s3, s4};
    const std::string_view placeholders[] = {"%s1%", "%s2%", "%s3%", "%s4%"};
    for (int i = 0; i < 4; ++i) {
        if (!args[i].empty())
            text = replaceAll(std::move(text), placeholders[i], args[i]);
    }
    return text;
}

std::string versionText(int version) {
    std::string text = std::to_string(version / 100);
    text += '.';
    text += static_cast<char>('0' + version / 10 % 10);
    if (version % 10 != 0) {
        text += '.';
        text += static_cast<char>('0' + version % 10);
    }
    return text;
}

std::string titleText() {
    return std::string(k_programTitle) + " " + versionText(k_version);
}

} // namespace kx::base
#include "tests/support/case_names.h"

namespace kx::test {

std::string caseName(std::string_view text) {
    if (text.empty())
        return "empty";
    std::string name(text);
    for (char& c : name) {
        const bool letterOrDigit =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!letterOrDigit)
            c = '_';
    }
    return name;
}

} // namespace kx::test

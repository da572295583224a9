// Writes the manual page to standard output; the build runs it to make kestrelix.1.
#include "core/manual_page.h"

#include <cstdio>

int main() {
    const std::string page = kx::core::manualPage("kestrelix");
    return std::fwrite(page.data(), 1, page.size(), stdout) == page.size() ? 0 : 1;
}

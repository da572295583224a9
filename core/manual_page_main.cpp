#include "core/manual_page.h"

// Writes the manual page (or, with --html-options, the options part of the HTML manual) to
// standard output; the build runs it to make kestrelix.1 and the manual.

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    const bool html = argc > 1 && std::strcmp(argv[1], "--html-options") == 0;
    const std::string page = html ? kx::core::optionsHtml() : kx::core::manualPage("kestrelix");
    return std::fwrite(page.data(), 1, page.size(), stdout) == page.size() ? 0 : 1;
}

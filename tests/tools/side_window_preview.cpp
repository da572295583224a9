#include "settings/string_table.h"
#include "ui/about_window.h"
#include "ui/converter_search.h"
#include "ui/pictures.h"

// Opens one side window on its own, for screenshots of it under a real X server:
//   kx_side_window_preview about|search
// (the uninstall page is the program's own "kestrelix -U").

#include <QApplication>

#include <cstring>

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    kx::settings::loadStringTable();
    kx::ui::bindBuiltInPictures();
    if (std::strcmp(argv[1], "about") == 0)
        kx::ui::openAboutWindow(nullptr);
    else if (std::strcmp(argv[1], "search") == 0)
        kx::ui::openConverterSearch(nullptr);
    else
        return 2;
    return 0;
}

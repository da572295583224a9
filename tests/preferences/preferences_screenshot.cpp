#include "base/text_format.h"
#include "settings/string_table.h"
#include "ui/preferences/preferences_dialog.h"
#include "ui/preferences/preferences_window.h"

// Opens the Preferences window on a page and saves a picture of the whole screen, for the
// screenshots in docs/. Run under an X server with a window manager:
//   kx_preferences_screenshot PAGE OUT.png [text|image] [SCROLL]
// PAGE counts the categories from 0; "text" or "image" picks the watermark sub-panel; SCROLL
// scrolls every scrolled panel down by that many pixels (as far as it goes).

#include <QApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s PAGE OUT.png [text|image]\n", argv[0]);
        return 2;
    }
    const int page = std::atoi(argv[1]);
    const QString out = QString::fromLocal8Bit(argv[2]);
    const bool image = argc > 3 && std::strcmp(argv[3], "image") == 0;
    const int scroll = argc > 4 ? std::atoi(argv[4]) : 0;
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    kx::settings::loadStringTable();

    kx::settings::Settings settings;
    kx::settings::applyDefaults(settings, false);
    settings.doFrame = 1;
    settings.doWatermark = image ? 2 : 1;
    settings.image = "/home/user/images/logo.png";

    QWidget owner;
    owner.setWindowTitle(QString::fromStdString(kx::base::titleText()));
    owner.setGeometry(60, 60, 760, 520);
    owner.show();
    const std::vector<kx::ui::ThemeChoice> themes = {{"handdrawn", "Hand-drawn"},
                                                     {"classic", "Classic"}};
    kx::ui::prefs::PreferencesDialog window(&owner, settings, "/dev/null/config.ini", themes,
                                            QIcon());
    window.fill(page);
    window.show();
    for (QScrollArea* area : window.findChildren<QScrollArea*>())
        area->verticalScrollBar()->setValue(scroll);
    QTimer::singleShot(1500, [&] {
        // The window with the frame the window manager drew around it.
        const QRect frame = window.frameGeometry();
        QGuiApplication::primaryScreen()
            ->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
            .save(out);
        app.quit();
    });
    return app.exec();
}

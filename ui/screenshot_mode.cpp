#include "ui/screenshot_mode.h"

#include "base/paths.h"
#include "base/version.h"
#include "engine/job_state.h"
#include "settings/settings.h"
#include "ui/main_window.h"
#include "ui/pictures.h"
#include "ui/themes.h"
#include "ui/window_system.h"

#include <QComboBox>
#include <QEventLoop>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QTimer>
#include <QToolButton>

#include <cmath>
#include <filesystem>
#include <random>

namespace kx::ui {

namespace {

constexpr int k_paintDelayMs = 500;
constexpr int k_thumbnailWidth = 180;
constexpr int k_jpegQuality = 90;

// Sample input names; each gets an input format key as its extension.
std::vector<std::string> sampleInputNames() {
    static const char* const k_stems[] = {
        "/home/user/images/pic0102.",     "/home/user/images/picture_a.",
        "/home/user/images/picture_b.",   "/home/user/images/kestrelix.",
        "/home/user/images/layout-haus.", "/home/user/images/summer.",
        "/home/user/images/winter.",
    };
    const std::vector<std::string>& keys = settings::inputFormatList();
    std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<size_t> pick(0, keys.size() - 1);
    std::vector<std::string> names;
    for (const char* stem : k_stems)
        names.push_back(stem + keys[pick(random)]);
    return names;
}

void waitForPainting(QWidget& window) {
    QEventLoop loop;
    QTimer::singleShot(k_paintDelayMs, &loop, &QEventLoop::quit);
    QObject::connect(qApp, &QApplication::lastWindowClosed, &loop, &QEventLoop::quit);
    loop.exec();
}

QImage pictureOf(QWidget& window) {
    QImage image = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setFont(QFont("Tahoma", 8));
    painter.setPen(Qt::black);
    const QString address = QString::fromUtf8(base::k_homepage.data(), base::k_homepage.size());
    const QRect corner(0, 0, image.width() - 35, image.height() - 26);
    painter.drawText(corner, Qt::AlignRight | Qt::AlignBottom, address);
    return image;
}

} // namespace

void runScreenshotMode(const std::string& title, const std::string& folderArgument) {
    std::string folder = folderArgument.empty() ? base::programFolder() : folderArgument;
    if (!folder.ends_with('/'))
        folder += '/';
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error))
        return;
    const std::unique_ptr<QApplication> app = startWindowSystem(title);
    if (!app)
        return;

    // The pictures show the window a user sees: the built-in images under the theme.
    auto& settings = settings::globalSettings();
    bindBuiltInPictures();
    loadThemePictures(settings, listThemes(), true, true, true);
    auto& job = engine::globalJobState();
    auto& queue = engine::globalJobQueue();
    MainWindow window(title, settings, job, queue);
    window.move(400, 400);
    window.resize(510, 260);
    window.finishStartUp(true);
    window.activateWindow();
    window.inputField()->setText(QString::fromStdString(sampleInputNames()[3]));
    window.outputFolderBox()->clear();
    window.outputFolderBox()->addItem(pictureIcon(PictureSet::MenuIcons, "FavFolder"),
                                      "/home/user/converted/");
    window.outputFolderBox()->setCurrentIndex(0);
    window.outputFormatBox()->setFocus();
    window.outputFolderBox()->setFocus();
    window.convertButton()->setFocus();
    waitForPainting(window);
    if (!window.isVisible())
        return;

    const QImage picture = pictureOf(window);
    picture.save(QString::fromStdString(folder + "quorvant1.jpg"), "JPG", k_jpegQuality);
    const double ratio = static_cast<double>(picture.width()) / picture.height();
    const int height = static_cast<int>(std::lround(k_thumbnailWidth / ratio));
    picture.scaled(k_thumbnailWidth, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .save(QString::fromStdString(folder + "quorvant1x.jpg"), "JPG", k_jpegQuality);
}

} // namespace kx::ui

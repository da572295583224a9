// Build-time tool: renders the project's SVG pictures into PNG files.
//
//   kx_render_svg icon ICON_SVG OUTPUT_PNG PIXELS
//   kx_render_svg theme SVG_FOLDER THEME_ZIP BUILTIN_FOLDER
//
// icon renders the program's icon as a square PNG for the icon theme.
// theme renders the hand-drawn pictures: THEME_ZIP gets theme.cfg and every icon at 16, 24, 32,
// 48, 64, 96 and 128 pixels as NAME_SIZE.png (the last two serve the large toolbar sizes on
// screens of scale factor 2), plus the Convert button at 64 pixels and, for such screens, at
// 128 as convert_button@2x.png. BUILTIN_FOLDER gets every icon at 16 pixels as NAME.png and
// at 32 as NAME@2x.png, the Convert button at 64 and 128 pixels and the 360 x 40 About banner
// at single and double size.
#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <archive.h>
#include <archive_entry.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr int k_iconSizes[] = {16, 24, 32, 48, 64, 96, 128};
const QString k_buttonName = "convert_button";
const QString k_bannerName = "about_banner";

// "name.png", or "name@2x.png" for the picture of a screen with scale factor 2.
QString scaledName(const QString& name, int scale) {
    return scale == 1 ? name + ".png" : QString("%1@%2x.png").arg(name).arg(scale);
}

// The PNG bytes of `svgPath` drawn over transparency at `size`; empty when the SVG cannot be
// read.
QByteArray renderPng(const QString& svgPath, QSize size) {
    QSvgRenderer renderer(svgPath);
    if (!renderer.isValid())
        return {};
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.convertToFormat(QImage::Format_ARGB32).save(&buffer, "PNG");
    return png;
}

struct WriterCloser {
    void operator()(archive* handle) const { archive_write_free(handle); }
};

bool addEntry(archive* zip, const QString& name, const QByteArray& bytes) {
    std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(),
                                                                        archive_entry_free);
    archive_entry_set_pathname(entry.get(), name.toUtf8().constData());
    archive_entry_set_size(entry.get(), bytes.size());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0644);
    archive_entry_set_mtime(entry.get(), 1767225600, 0); // fixed, so rebuilds are identical
    if (archive_write_header(zip, entry.get()) != ARCHIVE_OK)
        return false;
    return archive_write_data(zip, bytes.constData(), bytes.size()) == bytes.size();
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

int fail(const char* what, const QString& name) {
    std::fprintf(stderr, "kx_render_svg: %s: %s\n", what, name.toUtf8().constData());
    return 1;
}

int renderIcon(const QString& svgPath, const QString& pngPath, int pixels) {
    if (pixels <= 0)
        return fail("not a size in pixels", QString::number(pixels));
    const QByteArray png = renderPng(svgPath, QSize(pixels, pixels));
    if (png.isEmpty())
        return fail("cannot render", svgPath);
    if (!writeFile(pngPath, png))
        return fail("cannot write", pngPath);
    return 0;
}

int renderTheme(const QDir& sources, const QString& zipPath, const QDir& builtIn) {
    QDir().mkpath(builtIn.path());
    QDir().mkpath(QFileInfo(zipPath).path());

    QFile config(sources.filePath("theme.cfg"));
    if (!config.open(QIODevice::ReadOnly))
        return fail("cannot read", config.fileName());
    const QByteArray configBytes = config.readAll();

    const QString partial = zipPath + ".partial";
    std::unique_ptr<archive, WriterCloser> zip(archive_write_new());
    archive_write_set_format_zip(zip.get());
    archive_write_set_options(zip.get(), "zip:compression=deflate");
    if (archive_write_open_filename(zip.get(), partial.toUtf8().constData()) != ARCHIVE_OK)
        return fail("cannot write", partial);
    if (!addEntry(zip.get(), "theme.cfg", configBytes))
        return fail("cannot write", partial);

    const QStringList svgs = sources.entryList({"*.svg"}, QDir::Files, QDir::Name);
    for (const QString& file : svgs) {
        const QString name = QFileInfo(file).completeBaseName();
        const QString svgPath = sources.filePath(file);
        if (name == k_bannerName) {
            for (int scale : {1, 2}) {
                const QString output = builtIn.filePath(scaledName(name, scale));
                const QByteArray png = renderPng(svgPath, QSize(360, 40) * scale);
                if (png.isEmpty() || !writeFile(output, png))
                    return fail("cannot render", file);
            }
            continue;
        }
        if (name == k_buttonName) {
            for (int scale : {1, 2}) {
                const QByteArray png = renderPng(svgPath, QSize(64, 64) * scale);
                if (png.isEmpty() || !writeFile(builtIn.filePath(scaledName(name, scale)), png) ||
                    !addEntry(zip.get(), scaledName(name, scale), png))
                    return fail("cannot render", file);
            }
            continue;
        }
        for (int pixels : k_iconSizes) {
            const QByteArray png = renderPng(svgPath, QSize(pixels, pixels));
            if (png.isEmpty() ||
                !addEntry(zip.get(), QString("%1_%2.png").arg(name).arg(pixels), png))
                return fail("cannot render", file);
            const int scale = pixels / 16;
            if ((pixels == 16 || pixels == 32) &&
                !writeFile(builtIn.filePath(scaledName(name, scale)), png))
                return fail("cannot write", builtIn.filePath(scaledName(name, scale)));
        }
    }
    if (archive_write_close(zip.get()) != ARCHIVE_OK)
        return fail("cannot finish", partial);
    zip.reset();
    QFile::remove(zipPath);
    if (!QFile::rename(partial, zipPath))
        return fail("cannot rename", partial);
    return 0;
}

int usage() {
    std::fprintf(stderr, "usage: kx_render_svg icon ICON_SVG OUTPUT_PNG PIXELS\n"
                         "       kx_render_svg theme SVG_FOLDER THEME_ZIP BUILTIN_FOLDER\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5)
        return usage();
    const bool icon = std::strcmp(argv[1], "icon") == 0;
    if (!icon && std::strcmp(argv[1], "theme") != 0)
        return usage();
    QGuiApplication app(argc, argv); // the banner's text needs the font database
    const QString first = QString::fromLocal8Bit(argv[2]);
    const QString second = QString::fromLocal8Bit(argv[3]);
    if (icon)
        return renderIcon(first, second, std::atoi(argv[4]));
    return renderTheme(QDir(first), second, QDir(QString::fromLocal8Bit(argv[4])));
}

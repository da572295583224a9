// Build-time tool: renders the program's SVG icon as a square PNG for the icon theme.
//
//   kx_render_icon ICON_SVG OUTPUT_PNG PIXELS
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s ICON_SVG OUTPUT_PNG PIXELS\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    const int pixels = std::atoi(argv[3]);
    QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
    if (!renderer.isValid() || pixels <= 0)
        return 1;
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    return image.save(QString::fromLocal8Bit(argv[2]), "PNG") ? 0 : 1;
}

// A window that starts dragging files as a file manager does the moment a mouse button goes
// down on it, for the tests that drop files on the real program under a real X server:
//   kx_drag_source FILE...
// The drag carries the files as text/uri-list and, as most file managers add, as text/plain.
// The window is titled "kx drag source". The program runs until it is ended: the receiver
// fetches the dropped data from it after the drop, as from a file manager.

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <QWidget>

namespace {

class DragSource : public QWidget {
public:
    explicit DragSource(QList<QUrl> files) : m_files(std::move(files)) {
        setWindowTitle("kx drag source");
        resize(120, 80);
    }

protected:
    void mousePressEvent(QMouseEvent*) override {
        auto* data = new QMimeData;
        data->setUrls(m_files);
        QStringList lines;
        for (const QUrl& file : m_files)
            lines << file.toString();
        data->setText(lines.join("\n"));
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        drag->exec(Qt::CopyAction);
    }

private:
    QList<QUrl> m_files;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QList<QUrl> files;
    for (int i = 1; i < argc; ++i)
        files << QUrl::fromLocalFile(QString::fromLocal8Bit(argv[i]));
    DragSource window(files);
    window.move(20, 20);
    window.show();
    return app.exec();
}

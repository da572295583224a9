// Prints the text on the X clipboard, for the tests that drive the real program on an X
// server: what a window copied with Ctrl+C is how such a test reads the window's words.

#include <QClipboard>
#include <QGuiApplication>

#include <cstdio>

int main(int, char** argv) {
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    const QByteArray text = QGuiApplication::clipboard()->text().toUtf8();
    std::fwrite(text.data(), 1, static_cast<size_t>(text.size()), stdout);
    return 0;
}

#include "ui/common/dialogs.h"

#include "settings/string_table.h"
#include "ui/common/ui_text.h"

#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>

namespace kx::ui {

namespace {

QMessageBox::Icon boxIcon(Dialogs::Icon icon) {
    switch (icon) {
    case Dialogs::Icon::Warning:
        return QMessageBox::Warning;
    case Dialogs::Icon::Error:
        return QMessageBox::Critical;
    case Dialogs::Icon::Question:
        return QMessageBox::Question;
    case Dialogs::Icon::Information:
        break;
    }
    return QMessageBox::Information;
}

// Texts of the string table carry Windows line breaks.
QString boxText(const QString& text) {
    QString plain = text;
    plain.replace("\r\n", "\n");
    return plain;
}

class QtDialogs final : public Dialogs {
public:
    void message(QWidget* parent, Icon icon, const QString& title, const QString& text) override {
        QMessageBox box(boxIcon(icon), title, boxText(text), QMessageBox::Ok, parent);
        box.exec();
    }

    bool question(QWidget* parent, Icon icon, const QString& title, const QString& text) override {
        QMessageBox box(boxIcon(icon), title, boxText(text), QMessageBox::Yes | QMessageBox::No,
                        parent);
        return box.exec() == QMessageBox::Yes;
    }

    QString openFile(QWidget* parent, const QString& title, const QString& start,
                     const QString& filter) override {
        return QFileDialog::getOpenFileName(parent, title, start, filter);
    }

    QStringList openFiles(QWidget* parent, const QString& title, const QString& start,
                          const QString& filter) override {
        return QFileDialog::getOpenFileNames(parent, title, start, filter);
    }

    QString chooseFolder(QWidget* parent, const QString& title, const QString& start) override {
        return QFileDialog::getExistingDirectory(parent, title, start);
    }

    std::optional<QColor> chooseColor(QWidget* parent, const QColor& initial) override {
        const QColor chosen = QColorDialog::getColor(initial, parent);
        if (!chosen.isValid())
            return std::nullopt;
        return chosen;
    }

    std::optional<QFont> chooseFont(QWidget* parent, const QFont& initial) override {
        bool accepted = false;
        const QFont chosen = QFontDialog::getFont(&accepted, initial, parent);
        if (!accepted)
            return std::nullopt;
        return chosen;
    }

    bool openUrl(const QUrl& url) override { return QDesktopServices::openUrl(url); }
};

QtDialogs g_qtDialogs;
Dialogs* g_dialogs = &g_qtDialogs;

} // namespace

Dialogs& dialogs() {
    return *g_dialogs;
}

void setDialogs(Dialogs* replacement) {
    g_dialogs = replacement ? replacement : &g_qtDialogs;
}

void showErrorMessage(QWidget* parent, const std::string& body) {
    dialogs().message(parent, Dialogs::Icon::Error, uiText("Msg", "Error"),
                      QString::fromStdString(body));
}

void showWarningMessage(QWidget* parent, const std::string& body) {
    dialogs().message(parent, Dialogs::Icon::Warning, uiText("Msg", "Warning"),
                      QString::fromStdString(body));
}

bool askBreakConversion(QWidget* parent) {
    return dialogs().question(parent, Dialogs::Icon::Warning, uiText("Msg", "Warning"),
                              uiText("Msg", "Ask break conversion"));
}

} // namespace kx::ui

#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>
#include <string>

class QWidget;

namespace kx::ui {

// Every modal box, common dialog and hand-over to the desktop goes through this interface, so
// that tests answer them instead of blocking on a window nobody can press. The program uses
// the real Qt dialogs; a test installs its own with setDialogs(). Main thread only.
class Dialogs {
public:
    enum class Icon { Information, Question, Warning, Error };

    virtual ~Dialogs() = default;

    // Shows `text` in a box with an OK button, owned by `parent`.
    virtual void message(QWidget* parent, Icon icon, const QString& title, const QString& text) = 0;
    // Asks with Yes and No buttons; true when Yes was pressed.
    virtual bool question(QWidget* parent, Icon icon, const QString& title,
                          const QString& text) = 0;
    // One existing file, or empty when cancelled. `filter` is Qt's ";;"-separated syntax; the
    // first entry is preselected.
    virtual QString openFile(QWidget* parent, const QString& title, const QString& start,
                             const QString& filter) = 0;
    // One or more existing files, in the order chosen; empty when cancelled.
    virtual QStringList openFiles(QWidget* parent, const QString& title, const QString& start,
                                  const QString& filter) = 0;
    // One folder, or empty when cancelled.
    virtual QString chooseFolder(QWidget* parent, const QString& title, const QString& start) = 0;
    // A colour, or nullopt when cancelled.
    virtual std::optional<QColor> chooseColor(QWidget* parent, const QColor& initial) = 0;
    // A font, or nullopt when cancelled.
    virtual std::optional<QFont> chooseFont(QWidget* parent, const QFont& initial) = 0;
    // Hands a web address, mail link or document to the desktop; false when the desktop has
    // no program that opens it.
    virtual bool openUrl(const QUrl& url) = 0;
};

// The dialogs in use: the real ones unless a test installed others.
Dialogs& dialogs();

// Installs `replacement` (not owned; null restores the real dialogs).
void setDialogs(Dialogs* replacement);

// The standard boxes, titled from the string table's `Msg` group.
void showErrorMessage(QWidget* parent, const std::string& text);
void showWarningMessage(QWidget* parent, const std::string& text);
// Asks "Do you want to break the conversion?"; true on Yes.
bool askBreakConversion(QWidget* parent);

} // namespace kx::ui

#pragma once

#include "ui/common/dialogs.h"

#include <QStringList>

#include <deque>
#include <optional>
#include <vector>

namespace kx::test {

// Answers the program's dialogs from queues filled by the test and records what was shown,
// so that no test blocks on a modal box. Installed for its lifetime.
//
// Kept in a header so that the support library itself needs no Qt.
class ScriptedDialogs final : public ui::Dialogs {
public:
    struct Shown {
        Icon icon;
        QString title;
        QString text;
    };

    ScriptedDialogs() { ui::setDialogs(this); }
    ~ScriptedDialogs() override { ui::setDialogs(nullptr); }
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    // Answers, taken in order; an empty queue answers No / cancel.
    std::deque<bool> questionAnswers;
    std::deque<QString> fileAnswers;
    std::deque<QStringList> filesAnswers; // for the dialog that takes several files
    std::deque<QString> folderAnswers;
    std::deque<std::optional<QColor>> colorAnswers;
    std::deque<std::optional<QFont>> fontAnswers;

    // What the program showed or asked, in order.
    std::vector<Shown> messages;
    std::vector<Shown> questions;
    std::vector<QStringList> fileRequests;   // title, start, filter
    std::vector<QStringList> folderRequests; // title, start
    std::vector<QUrl> openedUrls;

    void message(QWidget*, Icon icon, const QString& title, const QString& text) override {
        messages.push_back({icon, title, text});
    }
    bool question(QWidget*, Icon icon, const QString& title, const QString& text) override {
        questions.push_back({icon, title, text});
        return take(questionAnswers, false);
    }
    QString openFile(QWidget*, const QString& title, const QString& start,
                     const QString& filter) override {
        fileRequests.push_back({title, start, filter});
        return take(fileAnswers, QString());
    }
    QStringList openFiles(QWidget*, const QString& title, const QString& start,
                          const QString& filter) override {
        fileRequests.push_back({title, start, filter});
        return take(filesAnswers, QStringList());
    }
    QString chooseFolder(QWidget*, const QString& title, const QString& start) override {
        folderRequests.push_back({title, start});
        return take(folderAnswers, QString());
    }
    std::optional<QColor> chooseColor(QWidget*, const QColor&) override {
        return take(colorAnswers, std::optional<QColor>());
    }
    std::optional<QFont> chooseFont(QWidget*, const QFont&) override {
        return take(fontAnswers, std::optional<QFont>());
    }
    // Whether the desktop opens what it is handed.
    bool desktopOpens = true;
    bool openUrl(const QUrl& url) override {
        openedUrls.push_back(url);
        return desktopOpens;
    }

private:
    template <typename T> static T take(std::deque<T>& queue, T otherwise) {
        if (queue.empty())
            return otherwise;
        T value = queue.front();
        queue.pop_front();
        return value;
    }
};

} // namespace kx::test

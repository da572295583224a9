#include "ui/shell_targets.h"

#include "base/paths.h"
#include "base/text_format.h"
#include "base/version.h"
#include "engine/job_state.h"
#include "settings/string_table.h"
#include "ui/common/dialogs.h"

#include <QApplication>
#include <QStandardPaths>

#include <filesystem>
#include <system_error>

namespace kx::ui {

namespace {

QString siteRoot() {
    QString site = QString::fromUtf8(base::k_homepage.data(), base::k_homepage.size());
    if (!site.endsWith('/'))
        site += '/';
    return site;
}

} // namespace

std::string supportMailAddress() {
    return std::string(base::k_supportMail);
}

QUrl makerSiteUrl() {
    return QUrl(siteRoot());
}

QUrl homePageUrl() {
    return QUrl(siteRoot() + "quorvant/");
}

QUrl supportMailUrl() {
    return QUrl("mailto:" + QString::fromStdString(supportMailAddress()));
}

QUrl feedbackMailUrl() {
    // The subject keeps its blanks; QUrl encodes them only where the desktop needs it.
    return QUrl("mailto:" + QString::fromStdString(supportMailAddress()) +
                "?subject=" + QString::fromStdString(base::titleText()) + " Feedback");
}

QUrl uninstallPageUrl() {
    return QUrl(QString::fromUtf8(base::k_uninstallUrl.data(), base::k_uninstallUrl.size()));
}

QUrl converterSearchUrl(std::string_view from, std::string_view to) {
    return QUrl(siteRoot() + "find/" + QString::fromUtf8(from.data(), from.size()) + "-" +
                QString::fromUtf8(to.data(), to.size()) + "/");
}

QUrl manualUrl() {
    namespace fs = std::filesystem;
    const fs::path program = base::programFolder();
    const fs::path candidates[] = {program / "doc" / "index.html",
                                   program / ".." / "share" / "doc" / "kestrelix" / "index.html"};
    for (const fs::path& candidate : candidates) {
        std::error_code error;
        if (fs::is_regular_file(candidate, error))
            return QUrl::fromLocalFile(
                QString::fromStdString(fs::weakly_canonical(candidate, error).string()));
    }
    return QUrl::fromLocalFile(QString::fromStdString(candidates[0].string()));
}

void openOnDesktop(const QUrl& url) {
    if (dialogs().openUrl(url))
        return;
    const std::string address =
        (url.isLocalFile() ? url.toLocalFile() : url.toDisplayString()).toStdString();
    const bool noOpener = QStandardPaths::findExecutable("xdg-open").isEmpty();
    const std::string text =
        noOpener ? base::formatText(settings::lookupText("Msg", "No desktop opener"), address)
                 : base::formatText(settings::lookupText("Msg", "Unable to open file"), address);
    showWarningMessage(QApplication::activeWindow(), text);
}

void openHomePage() {
    openOnDesktop(homePageUrl());
}

void openFeedbackMail() {
    openOnDesktop(feedbackMailUrl());
}

void openManual() {
    openOnDesktop(manualUrl());
}

} // namespace kx::ui

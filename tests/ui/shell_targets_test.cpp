#include "base/text_format.h"
#include "settings/string_table.h"
#include "tests/support/scripted_dialogs.h"
#include "ui/shell_targets.h"

#include <QStandardPaths>
#include <gtest/gtest.h>

namespace kx::ui {
namespace {

TEST(ShellTargetsTest, FeedbackMailCarriesTheTitleInItsSubject) {
    const QUrl mail = feedbackMailUrl();
    EXPECT_EQ(mail.scheme(), "mailto");
    EXPECT_EQ(mail.path().toStdString(), supportMailAddress());
    EXPECT_EQ(mail.query(QUrl::FullyDecoded).toStdString(),
              "subject=" + base::titleText() + " Feedback");
}

TEST(ShellTargetsTest, WebAddressesHangOffTheSite) {
    const QString site = makerSiteUrl().toString();
    EXPECT_TRUE(site.endsWith('/'));
    EXPECT_EQ(homePageUrl().toString(), site + "quorvant/");
    EXPECT_EQ(converterSearchUrl("jpg", "png").toString(), site + "find/jpg-png/");
    EXPECT_EQ(supportMailUrl().toString().toStdString(), "mailto:" + supportMailAddress());
}

TEST(ShellTargetsTest, CommandsHandTheirTargetsToTheDesktop) {
    test::ScriptedDialogs dialogs;
    openHomePage();
    openFeedbackMail();
    openManual();
    ASSERT_EQ(dialogs.openedUrls.size(), 3u);
    EXPECT_EQ(dialogs.openedUrls[0], homePageUrl());
    EXPECT_EQ(dialogs.openedUrls[1], feedbackMailUrl());
    EXPECT_TRUE(dialogs.openedUrls[2].isLocalFile());
    EXPECT_TRUE(dialogs.openedUrls[2].toLocalFile().endsWith("/doc/index.html"));
}

TEST(ShellTargetsTest, ADesktopThatCannotOpenSaysSoInABox) {
    settings::loadStringTable();
    test::ScriptedDialogs dialogs;
    dialogs.desktopOpens = false;
    const QByteArray path = qgetenv("PATH");
    for (const char* searched : {"", "/usr/local/bin:/usr/bin:/bin"}) {
        qputenv("PATH", searched);
        const bool opener = !QStandardPaths::findExecutable("xdg-open").isEmpty();
        openManual();
        ASSERT_FALSE(dialogs.messages.empty());
        const std::string text = dialogs.messages.back().text.toStdString();
        EXPECT_EQ(dialogs.messages.back().title, "Warning");
        EXPECT_NE(text.find(dialogs.openedUrls.back().toLocalFile().toStdString()),
                  std::string::npos);
        EXPECT_EQ(text.find("xdg-open") != std::string::npos, !opener) << searched;
    }
    qputenv("PATH", path);
    EXPECT_EQ(dialogs.messages.size(), 2u);
}

} // namespace
} // namespace kx::ui

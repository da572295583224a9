#include "base/text_format.h"
#include "settings/string_table.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/widget_app.h"
#include "ui/about_window.h"
#include "ui/shell_targets.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace kx::ui {
namespace {

class AboutWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::ensureWidgetApplication();
        settings::loadStringTable();
    }

    test::ScriptedDialogs m_dialogs;
    AboutWindow m_window{nullptr};
};

bool showsText(const QWidget& window, const QString& text) {
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        if (label->text() == text)
            return true;
    }
    return false;
}

TEST_F(AboutWindowTest, ShowsTheBannerTitleAndLinks) {
    EXPECT_EQ(m_window.windowTitle(), "About...");
    EXPECT_EQ(m_window.size(), QSize(360, 240));
    EXPECT_TRUE(showsText(m_window, QString::fromStdString(base::titleText())));
    EXPECT_TRUE(showsText(m_window, "Web:"));
    EXPECT_TRUE(showsText(m_window, "E-mail:"));
    bool banner = false;
    for (const QLabel* label : m_window.findChildren<QLabel*>())
        banner |= label->pixmap().size() == QSize(360, 40) && label->pos() == QPoint(0, 0);
    EXPECT_TRUE(banner);
    EXPECT_TRUE(m_window.webLink()->text().contains("color:#0000ff"));
    EXPECT_EQ(m_window.okButton()->text(), "OK");
}

TEST_F(AboutWindowTest, LinksOpenTheSiteAndTheMailAndTheWindowStaysOpen) {
    m_window.show();
    emit m_window.webLink()->linkActivated(makerSiteUrl().toString());
    emit m_window.mailLink()->linkActivated(supportMailUrl().toString());
    ASSERT_EQ(m_dialogs.openedUrls.size(), 2u);
    EXPECT_EQ(m_dialogs.openedUrls[0], makerSiteUrl());
    EXPECT_EQ(m_dialogs.openedUrls[1], supportMailUrl());
    EXPECT_TRUE(m_window.isVisible());
}

TEST_F(AboutWindowTest, OkEnterAndEscapeClose) {
    for (const auto key : {Qt::Key_Return, Qt::Key_Escape}) {
        m_window.show();
        QTest::keyClick(&m_window, key);
        EXPECT_FALSE(m_window.isVisible()) << key;
    }
    m_window.show();
    QTest::mouseClick(m_window.okButton(), Qt::LeftButton);
    EXPECT_FALSE(m_window.isVisible());
    EXPECT_TRUE(m_dialogs.openedUrls.empty());
}

} // namespace
} // namespace kx::ui

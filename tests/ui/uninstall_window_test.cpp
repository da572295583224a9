#include "ui/uninstall_window.h"

#include "tests/support/scripted_dialogs.h"
#include "tests/support/widget_app.h"
#include "ui/shell_targets.h"
#include "ui/string_table.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace kx::ui {
namespace {

class UninstallWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::ensureWidgetApplication();
        loadStringTable();
    }

    test::ScriptedDialogs m_dialogs;
    UninstallWindow m_window;
};

TEST_F(UninstallWindowTest, StartsWithTheBoxTicked) {
    EXPECT_EQ(m_window.windowTitle(), "Uninstall");
    EXPECT_EQ(m_window.size(), QSize(300, 100));
    EXPECT_EQ(m_window.visitBox()->text(), "Full Uninstall - Visit Uninstall Center");
    EXPECT_TRUE(m_window.visitBox()->isChecked());
    EXPECT_EQ(m_window.nextButton()->text(), "Next");
}

TEST_F(UninstallWindowTest, NextWithTheBoxTickedOpensTheUninstallPage) {
    m_window.show();
    QTest::mouseClick(m_window.nextButton(), Qt::LeftButton);
    ASSERT_EQ(m_dialogs.openedUrls.size(), 1u);
    EXPECT_EQ(m_dialogs.openedUrls[0], uninstallPageUrl());
    EXPECT_FALSE(m_window.isVisible());
}

TEST_F(UninstallWindowTest, NextWithTheBoxClearedOpensNothing) {
    m_window.show();
    QTest::mouseClick(m_window.visitBox(), Qt::LeftButton);
    EXPECT_FALSE(m_window.visitBox()->isChecked());
    QTest::mouseClick(m_window.nextButton(), Qt::LeftButton);
    EXPECT_TRUE(m_dialogs.openedUrls.empty());
    EXPECT_FALSE(m_window.isVisible());
}

TEST_F(UninstallWindowTest, ClosingOpensNothing) {
    m_window.show();
    m_window.close();
    EXPECT_TRUE(m_dialogs.openedUrls.empty());
    EXPECT_FALSE(m_window.isVisible());
}

} // namespace
} // namespace kx::ui

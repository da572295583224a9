#include "settings/string_table.h"
#include "tests/support/case_names.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/widget_app.h"
#include "ui/converter_search.h"
#include "ui/shell_targets.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace kx::ui {
namespace {

struct ExtensionCase {
    const char* name;
    std::string_view typed;
    std::string_view kept;
};

class SearchExtensionTest : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(SearchExtensionTest, LowerCasedCutAndFiltered) {
    EXPECT_EQ(searchExtension(GetParam().typed), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, SearchExtensionTest,
    ::testing::Values(ExtensionCase{"upper_case_lowered", "JPG", "jpg"},
                      ExtensionCase{"mixed_case_lowered", "Png", "png"},
                      ExtensionCase{"dot_dropped", ".tif", "tif"},
                      ExtensionCase{"blanks_dropped", "b m p", "bmp"},
                      ExtensionCase{"cut_to_twelve", "abcdefghijklmno", "abcdefghijkl"},
                      ExtensionCase{"cut_before_dots_are_dropped", "a.b.c.d.e.f.gh", "abcdef"},
                      ExtensionCase{"punctuation_only", "...!?", ""},
                      ExtensionCase{"empty", "", ""},
                      ExtensionCase{"non_ascii_dropped", "\xc3\xa9tif", "tif"}),
    test::byName);

class ConverterSearchWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::ensureWidgetApplication();
        settings::loadStringTable();
    }

    void type(const QString& from, const QString& to) {
        m_window.fromField()->setText(from);
        m_window.toField()->setText(to);
    }

    test::ScriptedDialogs m_dialogs;
    ConverterSearchWindow m_window{nullptr};
};

TEST_F(ConverterSearchWindowTest, LayoutAndTexts) {
    EXPECT_EQ(m_window.windowTitle(), "Find a File Converter");
    EXPECT_EQ(m_window.size(), QSize(370, 60));
    EXPECT_EQ(m_window.searchButton()->text(), "Search");
    EXPECT_TRUE(m_window.searchButton()->isDefault());
    EXPECT_EQ(m_window.fromField()->geometry(), QRect(50, 20, 80, 20));
    EXPECT_EQ(m_window.toField()->geometry(), QRect(180, 20, 80, 20));
}

TEST_F(ConverterSearchWindowTest, SearchOpensThePageForThePairAndCloses) {
    m_window.show();
    type("JPG", "Png");
    QTest::mouseClick(m_window.searchButton(), Qt::LeftButton);
    ASSERT_EQ(m_dialogs.openedUrls.size(), 1u);
    EXPECT_EQ(m_dialogs.openedUrls[0], converterSearchUrl("jpg", "png"));
    EXPECT_TRUE(m_dialogs.openedUrls[0].toString().endsWith("/find/jpg-png/"));
    EXPECT_FALSE(m_window.isVisible());
    EXPECT_EQ(m_window.result(), QDialog::Accepted);
}

TEST_F(ConverterSearchWindowTest, EnterInAFieldSearchesWithFilteredNames) {
    m_window.show();
    type(".tif", "b m p");
    QTest::keyClick(m_window.toField(), Qt::Key_Return);
    ASSERT_EQ(m_dialogs.openedUrls.size(), 1u);
    EXPECT_EQ(m_dialogs.openedUrls[0], converterSearchUrl("tif", "bmp"));
}

TEST_F(ConverterSearchWindowTest, EmptyAfterFilteringWarnsAndStaysOpen) {
    m_window.show();
    for (const auto& [from, to] : {std::pair<QString, QString>{"...", "bmp"}, {"tif", ""}}) {
        type(from, to);
        QTest::mouseClick(m_window.searchButton(), Qt::LeftButton);
    }
    ASSERT_EQ(m_dialogs.messages.size(), 2u);
    EXPECT_EQ(m_dialogs.messages[0].icon, Dialogs::Icon::Warning);
    EXPECT_EQ(m_dialogs.messages[0].text, "Please, fill all required fields and try again!");
    EXPECT_TRUE(m_dialogs.openedUrls.empty());
    EXPECT_TRUE(m_window.isVisible());
}

TEST_F(ConverterSearchWindowTest, EscapeClosesWithoutSearching) {
    m_window.show();
    type("jpg", "png");
    QTest::keyClick(m_window.fromField(), Qt::Key_Escape);
    EXPECT_FALSE(m_window.isVisible());
    EXPECT_EQ(m_window.result(), QDialog::Rejected);
    EXPECT_TRUE(m_dialogs.openedUrls.empty());
}

} // namespace
} // namespace kx::ui

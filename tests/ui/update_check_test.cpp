#include "settings/string_table.h"
#include "tests/support/local_http_server.h"
#include "tests/support/scripted_dialogs.h"
#include "tests/support/widget_app.h"
#include "ui/shell_targets.h"
#include "ui/update_check.h"

#include <QCloseEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>

#include <sys/socket.h>

#include <atomic>
#include <thread>

namespace kx::ui {
namespace {

using test::LocalHttpServer;

constexpr settings::Date k_day = 86'400;

LocalHttpServer::Reply answer(std::string body) {
    return
        [body](int socket) { LocalHttpServer::sendText(socket, "HTTP/1.0 200 OK\r\n\r\n" + body); };
}

class UpdateCheckTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::ensureWidgetApplication();
        settings::loadStringTable();
    }

    test::ScriptedDialogs m_dialogs;
};

TEST_F(UpdateCheckTest, HigherVersionOffersTheUpdateAndYesOpensTheHomePage) {
    std::string request;
    {
        LocalHttpServer server(answer("321"));
        m_dialogs.questionAnswers = {true};
        EXPECT_TRUE(checkForUpdates(nullptr, updateAddress(server.address("/"))));
        request = server.request();
    }
    EXPECT_TRUE(request.starts_with("GET /files/quorvant.dat HTTP/1.0\r\n")) << request;
    ASSERT_EQ(m_dialogs.questions.size(), 1u);
    EXPECT_EQ(m_dialogs.questions[0].icon, Dialogs::Icon::Question);
    EXPECT_EQ(m_dialogs.questions[0].title, "New Update");
    EXPECT_EQ(m_dialogs.questions[0].text.toStdString(),
              settings::lookupText("Msg", "New Update Text"));
    ASSERT_EQ(m_dialogs.openedUrls.size(), 1u);
    EXPECT_EQ(m_dialogs.openedUrls[0], homePageUrl());
    EXPECT_TRUE(m_dialogs.messages.empty());
}

TEST_F(UpdateCheckTest, NoToTheOfferOpensNothing) {
    LocalHttpServer server(answer("3210"));
    EXPECT_TRUE(checkForUpdates(nullptr, server.address("/v")));
    EXPECT_EQ(m_dialogs.questions.size(), 1u);
    EXPECT_TRUE(m_dialogs.openedUrls.empty());
}

TEST_F(UpdateCheckTest, SameVersionSaysThereIsNoUpdate) {
    LocalHttpServer server(answer("320"));
    checkForUpdates(nullptr, server.address("/v"));
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(m_dialogs.messages[0].icon, Dialogs::Icon::Information);
    EXPECT_EQ(m_dialogs.messages[0].title, "No Update");
    EXPECT_EQ(m_dialogs.messages[0].text, "There is no update of Kestrelix TIFF to BMP yet. "
                                          "You're using the most recent version.");
}

TEST_F(UpdateCheckTest, ErrorPagesReplyWithoutBodyAndRefusedConnectionAreConnectionProblems) {
    for (const char* reply : {"HTTP/1.0 200 OK\r\n321", "HTTP/1.0 404 Not Found\r\n\r\n404",
                              "HTTP/1.1 500 Internal Server Error\r\n\r\n500"}) {
        LocalHttpServer server([reply](int socket) { LocalHttpServer::sendText(socket, reply); });
        checkForUpdates(nullptr, server.address("/v"));
    }
    checkForUpdates(nullptr, "http://127.0.0.1:" + std::to_string(test::refusingPort()) + "/v");
    ASSERT_EQ(m_dialogs.messages.size(), 4u);
    for (const auto& shown : m_dialogs.messages) {
        EXPECT_EQ(shown.icon, Dialogs::Icon::Error);
        EXPECT_EQ(shown.text, "Internet connection problems!");
    }
}

TEST_F(UpdateCheckTest, SecondCheckIsRefusedWhileOneWaits) {
    // The server answers only after the timer below has run inside the first check's wait.
    std::atomic<bool> released = false;
    LocalHttpServer server([&released](int socket) {
        for (int i = 0; i < 6000 && !released; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        LocalHttpServer::sendText(socket, "HTTP/1.0 200 OK\r\n\r\n320");
    });
    bool secondStarted = true;
    QTimer::singleShot(0, [&] {
        secondStarted = checkForUpdates(nullptr, server.address("/v"));
        released = true;
    });
    EXPECT_TRUE(checkForUpdates(nullptr, server.address("/v")));
    EXPECT_TRUE(released); // events were handled while the first check waited
    EXPECT_FALSE(secondStarted);
    EXPECT_EQ(m_dialogs.messages.size(), 1u);
}

TEST_F(UpdateCheckTest, ClosingTheWindowEndsACheckThatTricklesWithoutABox) {
    constexpr int k_bytes = 200;
    std::atomic<int> sent = 0;
    QWidget window;
    window.show();
    {
        LocalHttpServer server([&sent](int socket) {
            for (; sent < k_bytes; ++sent) {
                if (::send(socket, "3", 1, MSG_NOSIGNAL) != 1)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
        // What the window manager's close box and Alt+F4 deliver.
        QTimer::singleShot(
            300, [&] { QCoreApplication::postEvent(window.windowHandle(), new QCloseEvent); });
        EXPECT_TRUE(checkForUpdates(&window, server.address("/v")));
        EXPECT_FALSE(window.isVisible());
    }
    EXPECT_LT(sent, k_bytes) << "the exchange ended with the window";
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_TRUE(m_dialogs.questions.empty());
}

TEST_F(UpdateCheckTest, IntervalsByUpdateRange) {
    const int expected[] = {1, 7, 30, 90, 180};
    for (int range = 0; range <= 4; ++range)
        EXPECT_EQ(updateIntervalDays(range), expected[range]);
    EXPECT_EQ(updateIntervalDays(6), 30);
    EXPECT_EQ(updateIntervalDays(-1), 30);
}

TEST_F(UpdateCheckTest, AutomaticCheckFollowsTheWeeklyInterval) {
    settings::Settings s;
    s.updateRange = 1;
    const settings::Date now = 1'700'000'000;
    const std::string unused = "http://127.0.0.1:" + std::to_string(test::refusingPort());

    s.updateDate = now - 6 * k_day;
    runAutomaticUpdateCheck(nullptr, s, unused, now);
    EXPECT_TRUE(m_dialogs.questions.empty());
    EXPECT_EQ(s.updateDate, now - 6 * k_day);

    s.updateDate = now - 8 * k_day;
    runAutomaticUpdateCheck(nullptr, s, unused, now); // answered No
    ASSERT_EQ(m_dialogs.questions.size(), 1u);
    EXPECT_EQ(m_dialogs.questions[0].icon, Dialogs::Icon::Question);
    EXPECT_EQ(m_dialogs.questions[0].title, "Check for Updates");
    EXPECT_EQ(m_dialogs.questions[0].text, "Do you want to check for updates?");
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_EQ(s.updateDate, now);

    runAutomaticUpdateCheck(nullptr, s, unused, now + 6 * k_day);
    EXPECT_EQ(m_dialogs.questions.size(), 1u);
    runAutomaticUpdateCheck(nullptr, s, unused, now + 8 * k_day);
    EXPECT_EQ(m_dialogs.questions.size(), 2u);
}

TEST_F(UpdateCheckTest, AutomaticCheckOnYesChecksAndStoresTheDate) {
    LocalHttpServer server(answer("320"));
    settings::Settings s;
    s.updateRange = 0;
    s.updateDate = 0;
    m_dialogs.questionAnswers = {true};
    runAutomaticUpdateCheck(nullptr, s, server.address("/v"), 2 * k_day);
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(m_dialogs.messages[0].title, "No Update");
    EXPECT_EQ(s.updateDate, 2 * k_day);
}

TEST_F(UpdateCheckTest, NeverMeansNeverAsk) {
    settings::Settings s;
    s.updateRange = 5;
    s.updateDate = 0;
    runAutomaticUpdateCheck(nullptr, s, "http://127.0.0.1:1/", 1'700'000'000);
    EXPECT_TRUE(m_dialogs.questions.empty());
    EXPECT_EQ(s.updateDate, 0);
}

} // namespace
} // namespace kx::ui

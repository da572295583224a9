#include "tests/support/case_names.h"
#include "tests/support/local_http_server.h"
#include "ui/http_fetch.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <atomic>
#include <thread>

namespace kx::ui {
namespace {

using test::LocalHttpServer;

LocalHttpServer::Reply answer(std::string text) {
    return [text](int socket) { LocalHttpServer::sendText(socket, text); };
}

TEST(HttpFetchTest, SendsTheExactRequestAndReadsTheVersion) {
    std::string received;
    {
        LocalHttpServer server(
            answer("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n321\r\n"));
        EXPECT_EQ(fetchVersionText(server.address("/files/quorvant.dat"), "Agent 1.0"), "321");
        received = server.request();
    }
    EXPECT_EQ(received, "GET /files/quorvant.dat HTTP/1.0\r\n"
                        "Host: 127.0.0.1\r\n"
                        "Accept: */*\r\n"
                        "User-Agent: Agent 1.0\r\n"
                        "Connection: close\r\n\r\n");
}

struct ReplyCase {
    const char* name;
    std::string reply;
    std::string version;
};

class HttpReplyTest : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(HttpReplyTest, ReplyGivesItsVersionText) {
    LocalHttpServer server(answer(GetParam().reply));
    EXPECT_EQ(fetchVersionText(server.address("/v"), "a"), GetParam().version);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, HttpReplyTest,
    ::testing::Values(ReplyCase{"three_digits", "HTTP/1.0 200 OK\r\n\r\n320", "320"},
                      ReplyCase{"only_the_first_three", "HTTP/1.0 200 OK\r\n\r\n3210", "321"},
                      ReplyCase{"no_body", "HTTP/1.0 200 OK\r\n321", ""},
                      ReplyCase{"empty_reply", "", ""},
                      ReplyCase{"not_found_page", "HTTP/1.0 404 Not Found\r\n\r\n404", ""},
                      ReplyCase{"server_error_page", "HTTP/1.1 500 Oops\r\n\r\n500\r\n", ""},
                      ReplyCase{"body_beyond_the_first_2048_bytes",
                                "HTTP/1.0 200 OK\r\nX: " + std::string(2100, 'x') + "\r\n\r\n321",
                                ""}),
    test::byName);

TEST(HttpFetchTest, ReplySentSlowlyInPiecesIsReadWhole) {
    LocalHttpServer server([](int socket) {
        for (const char* piece : {"HTTP/1.0 200", " OK\r\nServer: slow\r\n", "\r\n", "3", "22"}) {
            LocalHttpServer::sendText(socket, piece);
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
        }
    });
    EXPECT_EQ(fetchVersionText(server.address("/v"), "a"), "322");
}

TEST(HttpFetchTest, SilentServerIsGivenUpAfterTenSeconds) {
    LocalHttpServer server([](int socket) { LocalHttpServer::waitForClose(socket, 20); });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(fetchVersionText(server.address("/v"), "a"), "");
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(HttpFetchTest, TrickledReplyIsGivenUpAtTheLimit) {
    // A byte every 100 ms would hold a wait that restarts with every byte for 20 seconds.
    constexpr int k_bytes = 200;
    std::atomic<int> sent = 0;
    {
        LocalHttpServer server([&sent](int socket) {
            const std::string reply = "HTTP/1.0 200 OK\r\n\r\n" + std::string(k_bytes, '3');
            for (; sent < k_bytes; ++sent) {
                if (::send(socket, &reply[static_cast<std::size_t>(sent)], 1, MSG_NOSIGNAL) != 1)
                    break;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        });
        EXPECT_EQ(fetchVersionText(server.address("/v"), "a", std::chrono::seconds(1)), "");
    }
    EXPECT_LT(sent, k_bytes) << "the client left before the server was done";
}

TEST(HttpFetchTest, RefusedConnectionAndBadAddressesGiveNothing) {
    EXPECT_EQ(
        fetchVersionText("http://127.0.0.1:" + std::to_string(test::refusingPort()) + "/v", "a"),
        "");
    EXPECT_EQ(fetchVersionText("", "a"), "");
    EXPECT_EQ(fetchVersionText("http://host.invalid/v", "a"), "");
}

} // namespace
} // namespace kx::ui

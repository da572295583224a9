#include "base/text_format.h"
#include "tests/support/case_names.h"
#include "ui/version_reply.h"

#include <gtest/gtest.h>

namespace kx::ui {
namespace {

TEST(VersionReplyTest, SplitsAddresses) {
    const auto plain = splitHttpAddress("http://updates.example/files/quorvant.dat");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->host, "updates.example");
    EXPECT_EQ(plain->port, 80);
    EXPECT_EQ(plain->path, "/files/quorvant.dat");

    const auto withPort = splitHttpAddress("127.0.0.1:8080");
    ASSERT_TRUE(withPort);
    EXPECT_EQ(withPort->host, "127.0.0.1");
    EXPECT_EQ(withPort->port, 8080);
    EXPECT_EQ(withPort->path, "/");

    for (const char* bad : {"", "http://", "http://:80/x", "host:0", "host:70000", "host:8x"})
        EXPECT_FALSE(splitHttpAddress(bad)) << bad;
}

TEST(VersionReplyTest, RequestHasTheExactLines) {
    const HttpAddress address{"updates.example", 80, "/files/quorvant.dat"};
    EXPECT_EQ(buildVersionRequest(address, base::titleText()),
              base::formatText("GET /files/quorvant.dat HTTP/1.0\r\n"
                               "Host: updates.example\r\n"
                               "Accept: */*\r\n"
                               "User-Agent: %s1%\r\n"
                               "Connection: close\r\n\r\n",
                               base::titleText()));
    EXPECT_NE(buildVersionRequest(address, "")
                  .find("User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; en)\r\n"),
              std::string::npos);
}

struct ReplyCase {
    const char* name;
    std::string_view reply;
    std::string_view text;
    int number;
};

class VersionTextTest : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(VersionTextTest, TakesTheBodysFirstThreeCharacters) {
    const std::string text = versionTextOfReply(GetParam().reply);
    EXPECT_EQ(text, GetParam().text);
    EXPECT_EQ(parseVersionBody(text), GetParam().number);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, VersionTextTest,
    ::testing::Values(
        ReplyCase{"three_digits", "HTTP/1.0 200 OK\r\n\r\n321", "321", 321},
        ReplyCase{"blanks_before_the_body", "HTTP/1.0 200 OK\r\nX: y\r\n\r\n  320\r\n", "320", 320},
        ReplyCase{"only_the_first_three", "HTTP/1.0 200 OK\r\n\r\n3210", "321", 321},
        ReplyCase{"no_blank_line_no_body", "HTTP/1.0 200 OK\r\n321", "", 0},
        ReplyCase{"letters", "HTTP/1.0 200 OK\r\n\r\nabc", "abc", 0},
        ReplyCase{"empty_body", "HTTP/1.0 200 OK\r\n\r\n", "", 0},
        ReplyCase{"nul_in_the_head", std::string_view("HTTP/1.0\0\r\n\r\n321", 16), "", 0},
        ReplyCase{"one_digit", "HTTP/1.0 200 OK\r\n\r\n4\r\n", "4", 4},
        ReplyCase{"empty_reply", "", "", 0},
        ReplyCase{"not_found", "HTTP/1.1 404 Not Found\r\n\r\n404", "", 0},
        ReplyCase{"server_error", "HTTP/1.0 500 Internal Server Error\r\n\r\n500", "", 0},
        ReplyCase{"moved", "HTTP/1.0 301 Moved\r\nLocation: /x\r\n\r\n301", "", 0},
        ReplyCase{"no_content_code", "HTTP/1.0 204\r\n\r\n321", "321", 321},
        ReplyCase{"no_status_line", "\r\n\r\n321", "", 0},
        ReplyCase{"four_digit_status", "HTTP/1.0 2000 OK\r\n\r\n321", "", 0}),
    test::byName);

TEST(VersionReplyTest, ParsesLeadingDigits) {
    EXPECT_EQ(parseVersionBody("320\r\n"), 320);
    EXPECT_EQ(parseVersionBody("32a"), 32);
    EXPECT_EQ(parseVersionBody("-32"), 0);
}

} // namespace
} // namespace kx::ui

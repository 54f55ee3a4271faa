#include "platform/http_text.h"

#include <gtest/gtest.h>

namespace {

TEST(HttpText, EncodesBasicCredentials) {
    struct Case {
        const char *user, *password, *expected;
    } cases[] = {
        {"", "", "Basic Og=="},
        {"a", "", "Basic YTo="},
        {"ab", "", "Basic YWI6"},
        {"Aladdin", "open sesame", "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ=="},
        {"ren\xC3\xA9", "\xFF\xFE?>", "Basic cmVuw6k6//4/Pg=="},
    };
    for (const Case& c : cases)
        EXPECT_EQ(http::basicAuthorization(c.user, c.password), c.expected) << c.user;
}

TEST(HttpText, ReadsHeaderBlocksAndWritesHeaderLines) {
    struct Case {
        const char* block;
        http::Headers expected;
    } cases[] = {
        {"HTTP/1.1 207 Multi-Status\r\nETag: \"1\"\r\nDAV: 1, 3\r\n\r\n",
         {{"ETag", "\"1\""}, {"DAV", "1, 3"}}},
        {"Location:\thttp://h/a:b \r\nX-Empty:\r\nX-Blank:  \r\n",
         {{"Location", "http://h/a:b"}, {"X-Empty", ""}, {"X-Blank", ""}}},
        {"HTTP/1.1 204 No Content\r\nno colon here", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(http::readHeaderBlock(c.block), c.expected) << c.block;
    EXPECT_EQ(http::headerLines({{"Depth", "1"}, {"If-Match", "\"a b\""}}),
              "Depth: 1\r\nIf-Match: \"a b\"\r\n");
}

}  // namespace

// The one redirect rule both HTTP backends follow: where a request may go next, and what it
// carries there.

#include <gtest/gtest.h>

#include <string>

#include "platform/HttpRedirect.h"

namespace velmora::platform {
namespace {

TEST(OriginOf, SchemeHostAndPortWithDefaultsAndNothingElse) {
    struct Case {
        const char* url;
        const char* origin;  // nullptr: not an http(s) URL with a host
    };
    const Case cases[] = {
        {"http://127.0.0.1:8080/x?key=1", "http://127.0.0.1:8080"},
        {"HTTPS://Api.Example.COM/v2", "https://api.example.com:443"},
        {"http://example.com", "http://example.com:80"},
        {"http://user:pw@example.com:81/", "http://example.com:81"},
        {"http://evil.test@example.com/", "http://example.com:80"},
        {"http://[::1]:9000/a", "http://[::1]:9000"},
        {"https://[::1]/a", "https://[::1]:443"},
        {"ftp://example.com/", nullptr},
        {"file:///etc/passwd", nullptr},
        {"http:example.com", nullptr},
        {"http:///path", nullptr},
        {"http://example.com:0/", nullptr},
        {"http://example.com:65536/", nullptr},
        {"http://example.com:8x/", nullptr},
        {"http://[::1/", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) {
        const auto origin = OriginOf(c.url);
        if (!c.origin) {
            EXPECT_FALSE(origin) << c.url;
        } else {
            ASSERT_TRUE(origin) << c.url;
            EXPECT_EQ(origin->Text(), c.origin) << c.url;
        }
    }
}

TEST(ResolveLocation, RelativeAndAbsoluteTargets) {
    const std::string base = "http://h:1/dir/page?q=1";
    EXPECT_EQ(ResolveLocation(base, "https://other/x"), "https://other/x");
    EXPECT_EQ(ResolveLocation(base, "//other:2/x"), "http://other:2/x");
    EXPECT_EQ(ResolveLocation(base, "/root"), "http://h:1/root");
    EXPECT_EQ(ResolveLocation(base, "../up?z=2"), "http://h:1/up?z=2");
    EXPECT_EQ(ResolveLocation(base, "next"), "http://h:1/dir/next");
    EXPECT_EQ(ResolveLocation(base, "?p=3"), "http://h:1/dir/page?p=3");
}

HttpRequest Keyed(const std::string& url) {
    HttpRequest r;
    r.method = "POST";
    r.url = url;
    r.headers = {{"Authorization", "DeepL-Auth-Key k"},
                 {"Content-Type", "application/json"},
                 {"X-Other", "1"}};
    r.body = R"({"api_key":"k"})";
    r.carriesCredential = true;
    return r;
}

TEST(FollowRedirect, ARequestWithAKeyStaysWithItsOrigin) {
    for (long status : {301L, 302L, 303L, 307L, 308L}) {
        const auto from = Keyed("https://api.example.com/v2/translate");
        for (const char* elsewhere :
             {"https://evil.example.net/v2/translate", "http://api.example.com/v2/translate",
              "https://api.example.com:8443/v2/translate", "https://API.example.com.evil/x"}) {
            try {
                FollowRedirect(from, status, elsewhere, 0, 5);
                ADD_FAILURE() << status << " to " << elsewhere << " was followed";
            } catch (const HttpError& e) {
                const std::string what = e.what();
                EXPECT_NE(what.find("redirect"), std::string::npos) << what;
                EXPECT_NE(what.find(std::to_string(status)), std::string::npos) << what;
                EXPECT_EQ(what.find("/v2/translate"), std::string::npos) << what;
            }
        }
        // The same origin, however spelt, keeps the request whole for 307 and 308.
        const auto next = FollowRedirect(from, status, "https://API.example.com:443/v3", 0, 5);
        EXPECT_EQ(next.url, "https://API.example.com:443/v3");
        EXPECT_TRUE(next.carriesCredential);
        EXPECT_EQ(next.headers.front().first, "Authorization") << status;
        if (status == 307 || status == 308) {
            EXPECT_EQ(next.method, "POST");
            EXPECT_EQ(next.body, from.body);
            EXPECT_EQ(next.headers.size(), 3u);
        } else {
            EXPECT_EQ(next.method, "GET");
            EXPECT_EQ(next.body, "");
            EXPECT_EQ(next.headers.size(), 2u);  // no Content-Type without a body
        }
    }
}

TEST(FollowRedirect, OtherRequestsMoveOnButNeverDownToPlainHttp) {
    HttpRequest get;
    get.url = "https://updates.example.com/files/app.exe";
    get.headers = {{"Authorization", "Basic x"}, {"Cookie", "s=1"}, {"Accept", "*/*"}};
    // A mirror elsewhere is fine, without the credentials the caller did not flag.
    const auto mirror = FollowRedirect(get, 302, "https://mirror.example.org/app.exe", 0, 5);
    EXPECT_EQ(mirror.url, "https://mirror.example.org/app.exe");
    ASSERT_EQ(mirror.headers.size(), 1u);
    EXPECT_EQ(mirror.headers[0].first, "Accept");
    // Within the origin they stay.
    EXPECT_EQ(FollowRedirect(get, 302, "https://updates.example.com/b", 0, 5).headers.size(), 3u);

    for (long status : {301L, 302L, 303L, 307L, 308L})
        EXPECT_THROW(FollowRedirect(get, status, "http://updates.example.com/app.exe", 0, 5),
                     HttpError)
            << status;
    HttpRequest plain;
    plain.url = "http://127.0.0.1:1/a";
    EXPECT_EQ(FollowRedirect(plain, 301, "http://127.0.0.2:2/b", 0, 5).url, "http://127.0.0.2:2/b");
    EXPECT_EQ(FollowRedirect(plain, 301, "https://127.0.0.2/b", 0, 5).url, "https://127.0.0.2/b");
}

TEST(FollowRedirect, OnlyHttpTargetsAndOnlySoMany) {
    HttpRequest r;
    r.url = "http://h/a";
    for (const char* bad : {"ftp://h/x", "file:///etc/passwd", "javascript:alert(1)", "h/x"})
        EXPECT_THROW(FollowRedirect(r, 302, bad, 0, 5), HttpError) << bad;
    EXPECT_NO_THROW(FollowRedirect(r, 302, "http://h/b", 4, 5));
    EXPECT_THROW(FollowRedirect(r, 302, "http://h/b", 5, 5), HttpError);
}

// The walk both transports run: hops counted across redirects, checks before every hop.
TEST(RedirectWalk, CountsHopsAndChecksEachBeforeItGoes) {
    using namespace std::chrono_literals;
    HttpRequest first;
    first.method = "POST";
    first.url = "http://h/a";
    first.body = "q=1";
    RedirectWalk walk(first, RedirectWalk::Clock::now() + 60s, 2);
    const HttpRequest& hop = walk.Request();
    EXPECT_GT(walk.Remaining(), 0);
    EXPECT_FALSE(walk.Follow(200, std::string("http://h/ignored")));
    EXPECT_FALSE(walk.Follow(302, std::nullopt));
    EXPECT_FALSE(walk.Follow(302, std::string()));
    EXPECT_EQ(hop.url, "http://h/a");

    EXPECT_TRUE(walk.Follow(303, std::string("http://h/b")));
    EXPECT_EQ(hop.url, "http://h/b");  // the same object, now the next hop
    EXPECT_EQ(hop.method, "GET");
    EXPECT_TRUE(walk.Follow(302, std::string("http://h/c")));
    EXPECT_THROW(walk.Follow(302, std::string("http://h/d")), HttpError);  // a third is too many

    RedirectWalk late(first, RedirectWalk::Clock::now() - 1ms, 5);
    EXPECT_THROW(late.Remaining(), HttpError);
    HttpRequest ftp;
    ftp.url = "ftp://h/x";
    EXPECT_THROW(RedirectWalk(ftp, RedirectWalk::Clock::now() + 60s, 5).Remaining(), HttpError);
}

}  // namespace
}  // namespace velmora::platform

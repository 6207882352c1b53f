#include <gtest/gtest.h>

#include <cmath>

#include "platform/fake/FakePlatform.h"
#include "update/mduAutoUpdate.h"

namespace au = velmora::update::mduAutoUpdate;
using velmora::platform::HttpResponse;
using velmora::platform::fake::FakePlatform;

TEST(Version, LeadingNumberTable) {
    struct Case {
        const char* text;
        double value;
    };
    const Case cases[] = {
        {"20090923", 20090923},
        {"  20090924", 20090924},
        {"20090924abc", 20090924},
        {"2009.5x", 2009.5},
        {".5", 0.5},
        {"-3", -3},
        {"+4", 4},
        {"1e3", 1000},
        {"1e", 1},
        {"1e+", 1},
        {"", 0},
        {"abc", 0},
        {".", 0},
        {"-", 0},
        {"\t7", 0},  // only blanks are skipped
        {"2009 0924", 2009},
        {"1e999", HUGE_VAL},
        {"1e-999", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(au::LeadingNumber(c.text), c.value) << c.text;
}

TEST(Version, IsNewerTable) {
    struct Case {
        const char* answer;
        bool newer;
    };
    const Case cases[] = {
        {"20090924", true},     {"20090923", false},  {"20090922", false},  {"", false},
        {"abc", false},         {" 20090924 ", true}, {"20090923.1", true}, {"2009", false},
        {"20090924beta", true}, {"-20090924", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(au::IsNewerVersion("20090923", c.answer), c.newer) << c.answer;
    // A program whose own version has no number takes any positive answer as newer.
    EXPECT_TRUE(au::IsNewerVersion("x", "1"));
    EXPECT_FALSE(au::IsNewerVersion("x", "0"));
}

TEST(Version, CounterTextHasSevenSignificantDigits) {
    EXPECT_EQ(au::CounterText(32707.453), "32707.45");
    EXPECT_EQ(au::CounterText(0.0), "0");
    EXPECT_EQ(au::CounterText(45296.5), "45296.5");
    EXPECT_EQ(au::CounterText(86399.999), "86400");
    EXPECT_EQ(au::CounterText(3.25), "3.25");
}

TEST(Version, QueryCarriesUnitIdUnchangedAndCounter) {
    FakePlatform f;
    f.clock.SetMs(f.clock.NowMs() - f.clock.NowMs() % 86'400'000 + 32'707'450);
    f.http.responses.push_back(HttpResponse{200, "junk<version>20090924</version>more"});
    auto pf = f.platform();
    EXPECT_EQ(au::GetLatestVersion(pf, "http://upd.test", "BFEB FBFF&x"), u"20090924");
    ASSERT_EQ(f.http.requests.size(), 1u);
    EXPECT_EQ(f.http.requests[0].method, "GET");
    EXPECT_EQ(f.http.requests[0].url,
              "http://upd.test/version.php?id=BFEB FBFF&x&counter=32707.45");
    EXPECT_TRUE(f.http.requests[0].body.empty());
}

TEST(Version, AnythingButAMarkedAnswerWithStatus200IsEmpty) {
    struct Case {
        bool transportFailure;
        long status;
        const char* body;
    };
    const Case cases[] = {
        {true, 0, ""},
        {false, 500, "<version>20090924</version>"},
        {false, 404, "<version>20090924</version>"},
        {false, 200, "20090924"},
        {false, 200, "<version>20090924"},
        {false, 200, ""},
    };
    for (const auto& c : cases) {
        FakePlatform f;
        if (!c.transportFailure) f.http.responses.push_back(HttpResponse{c.status, c.body});
        auto pf = f.platform();
        EXPECT_EQ(au::GetLatestVersion(pf, "http://h", "id"), u"") << c.status << " " << c.body;
        EXPECT_EQ(f.http.requests.size(), 1u);
    }
}

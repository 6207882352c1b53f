#include "app/core/OfflinePage.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora::app {
namespace {

// The text a reader sees: the body with its tags taken out.
std::string VisibleText(const std::string& html) {
    const size_t from = html.find("<body>");
    const size_t to = html.find("</body>");
    std::string text;
    bool inTag = false;
    for (size_t i = from; i < to; ++i) {
        if (html[i] == '<') inTag = true;
        if (!inTag) text += html[i];
        if (html[i] == '>') inTag = false;
    }
    return text;
}

TEST(OfflinePage, IsAChineseDocumentWithItsTitleAndMarkerThatNeedsNothingFromOutside) {
    const std::string html = OfflinePageHtml();
    const std::string title(kOfflinePageTitle);
    EXPECT_NE(html.find("<title>" + title + "</title>"), std::string::npos);
    EXPECT_NE(html.find("<h1>" + title + "</h1>"), std::string::npos);
    EXPECT_NE(html.find("id=\"" + std::string(kOfflinePageMarker) + "\""), std::string::npos);
    EXPECT_NE(html.find("<meta charset=\"utf-8\">"), std::string::npos);

    ASSERT_NE(html.find("<body>"), std::string::npos);
    ASSERT_NE(html.find("</body>"), std::string::npos);
    const std::string text = VisibleText(html);
    EXPECT_NE(text.find("下次打开窗口时会自动重新加载"), std::string::npos) << text;
    for (char c : text) {
        EXPECT_FALSE((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) << "no English: " << text;
    }

    // Shown while the network is down: nothing may be fetched.
    for (const char* fetch : {"src=", "href=", "url(", "@import", "<script"})
        EXPECT_EQ(html.find(fetch), std::string::npos) << fetch;
}

TEST(OfflineFallback, AFailureOfTheLatestLoadShowsTheLocalPageOnceAndAShowAsksAgain) {
    OfflineFallback f;
    const int first = f.Load();
    EXPECT_FALSE(f.Offline());
    EXPECT_FALSE(f.RetryOnShow()) << "a load still under way is not asked for again";

    EXPECT_TRUE(f.Failed(first));
    EXPECT_TRUE(f.Offline());
    EXPECT_FALSE(f.Failed(first)) << "a second report of the same failure";
    EXPECT_FALSE(f.Failed(f.CurrentLoad())) << "the local page's own failure";
    EXPECT_TRUE(f.RetryOnShow());
    EXPECT_TRUE(f.RetryOnShow()) << "asking does not change the answer";

    const int again = f.Load();
    EXPECT_NE(again, first);
    EXPECT_EQ(f.CurrentLoad(), again);
    EXPECT_FALSE(f.Offline()) << "the address is asked for again";
    EXPECT_FALSE(f.RetryOnShow());
    EXPECT_TRUE(f.Failed(again)) << "still down: the local page again";
    EXPECT_TRUE(f.RetryOnShow());
}

TEST(OfflineFallback, AFailureThatANewerLoadOvertookShowsNothing) {
    OfflineFallback f;
    const int old = f.Load();
    const int latest = f.Load();
    EXPECT_FALSE(f.Failed(old));
    EXPECT_FALSE(f.Offline());
    EXPECT_FALSE(f.RetryOnShow());

    // A load that succeeded is never asked for again by a show.
    f.Load();
    EXPECT_FALSE(f.Failed(latest));
    EXPECT_FALSE(f.RetryOnShow());
}

TEST(OfflineFallback, BeforeAnyLoadNothingFailsAndNothingIsAskedFor) {
    OfflineFallback f;
    EXPECT_FALSE(f.Failed(f.CurrentLoad()));
    EXPECT_FALSE(f.RetryOnShow());
}

}  // namespace
}  // namespace velmora::app

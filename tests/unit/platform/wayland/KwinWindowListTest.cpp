// The window list KWin's scripts report: what is believed, and what is refused whole.

#include "platform/wayland/KwinWindowList.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora::platform::wayland {
namespace {

std::string Window(const std::string& fields) {
    return R"({"id":"{1}","pid":7,"caption":"c","resourceClass":"r","frame":[10,20,100,50],)"
           R"("buffer":[10,20,100,50],"minimized":false,"keepAbove":false,"shown":true,)"
           R"("stacking":3)" +
           fields + "}";
}

TEST(KwinWindowList, ReadsWindowsAndTheActiveOne) {
    const auto s = ParseKwinSnapshot(R"({"active":"{1}","windows":[)" + Window("") + "]}");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->active, "{1}");
    ASSERT_EQ(s->windows.size(), 1u);
    const KwinWindow& k = s->windows[0];
    EXPECT_EQ(k.id, "{1}");
    EXPECT_EQ(k.pid, 7);
    EXPECT_EQ(k.frame, (Rect{10, 20, 110, 70}));
    EXPECT_EQ(k.client, (Rect{10, 20, 110, 70}));
    EXPECT_EQ(k.stacking, 3);
}

// The surface is where frame and buffer meet: KWin's decoration lies outside the buffer, a
// program's own shadow outside the frame.
TEST(KwinWindowList, TheSurfaceLiesWithinFrameAndBuffer) {
    struct Case {
        const char* frame;
        const char* buffer;
        Rect client;
    } cases[] = {
        {"[0,0,200,130]", "[5,30,190,95]", {5, 30, 195, 125}},     // server-side decoration
        {"[20,20,160,100]", "[0,0,200,140]", {20, 20, 180, 120}},  // client-side shadow
        {"[0,0,10,10]", "[50,50,10,10]", {0, 0, 10, 10}},          // apart: the frame
    };
    for (const Case& c : cases) {
        std::string w = Window("");
        w.replace(w.find("[10,20,100,50]"), 14, c.frame);
        w.replace(w.find("[10,20,100,50]"), 14, c.buffer);
        const auto s = ParseKwinSnapshot(R"({"active":"","windows":[)" + w + "]}");
        ASSERT_TRUE(s) << w;
        EXPECT_EQ(s->windows[0].client, c.client) << c.frame << " " << c.buffer;
    }
}

TEST(KwinWindowList, RefusesMalformedAnswers) {
    const std::string bad[] = {
        "",
        "not json",
        "[]",
        R"({"windows":[]})",
        R"({"active":1,"windows":[]})",
        R"({"active":"","windows":{}})",
        R"({"active":"","windows":[1]})",
        R"({"active":"","windows":[)" + Window(R"(,"id":"")") + "]}",
        R"({"active":"","windows":[{"id":"{1}"}]})",
        R"({"error":"TypeError: x is undefined"})",
    };
    for (const std::string& text : bad) EXPECT_FALSE(ParseKwinSnapshot(text)) << text;

    // Fields of the wrong type or out of range, one at a time.
    const std::pair<const char*, const char*> fields[] = {
        {"\"pid\":7", "\"pid\":\"7\""},
        {"\"pid\":7", "\"pid\":1e300"},
        {"[10,20,100,50],\"buffer\"", "[10,20,-1,50],\"buffer\""},
        {"[10,20,100,50],\"buffer\"", "[10,20,100],\"buffer\""},
        {"[10,20,100,50],\"buffer\"", "[2147483600,20,100,50],\"buffer\""},
        {"\"minimized\":false", "\"minimized\":0"},
        {"\"stacking\":3", "\"stacking\":null"},
    };
    for (const auto& [from, to] : fields) {
        std::string w = Window("");
        w.replace(w.find(from), std::string(from).size(), to);
        EXPECT_FALSE(ParseKwinSnapshot(R"({"active":"","windows":[)" + w + "]}")) << w;
    }
}

TEST(KwinWindowList, RefusesMoreWindowsThanAnyDesktopHas) {
    std::string many = R"({"active":"","windows":[)";
    for (std::size_t i = 0; i <= kMaxKwinWindows; ++i) many += (i ? "," : "") + Window("");
    EXPECT_FALSE(ParseKwinSnapshot(many + "]}"));
}

}  // namespace
}  // namespace velmora::platform::wayland

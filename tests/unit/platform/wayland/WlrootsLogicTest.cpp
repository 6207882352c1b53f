// The wlroots backends' own logic: which clipboard type is read, how frames make the screen,
// and the bounds on pipes to other programs.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/wayland/ClipboardFormats.h"
#include "platform/wayland/PipeIo.h"
#include "platform/wayland/ScreenCompose.h"

namespace velmora::platform::wayland {
namespace {

TEST(ClipboardFormats, PicksTheTypeTextIsReadThrough) {
    struct Case {
        std::vector<std::string> offered;
        std::optional<std::string> text;
        std::optional<std::string> image;
    };
    const Case cases[] = {
        {{}, std::nullopt, std::nullopt},
        {{"STRING", "text/plain", "text/plain;charset=utf-8"}, "text/plain;charset=utf-8", {}},
        {{"TEXT", "UTF8_STRING", "text/plain"}, "UTF8_STRING", {}},
        {{"text/plain; charset=UTF-8", "STRING"}, "text/plain; charset=UTF-8", {}},
        {{"STRING"}, "STRING", {}},
        {{"text/html", "image/jpeg", "image/png"}, std::nullopt, "image/png"},
        {{"image/bmp", "text/uri-list"}, std::nullopt, "image/bmp"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PickTextType(c.offered), c.text) << testing::PrintToString(c.offered);
        EXPECT_EQ(PickImageType(c.offered), c.image) << testing::PrintToString(c.offered);
    }
    EXPECT_TRUE(IsPreferredType("UTF8_STRING"));
    EXPECT_TRUE(IsPreferredType("image/png"));
    EXPECT_FALSE(IsPreferredType("application/x-junk"));
    // X11's STRING is Latin-1, the others UTF-8.
    EXPECT_EQ(DecodeText("STRING", "caf\xE9"), u"café");
    EXPECT_EQ(DecodeText("UTF8_STRING", "caf\xC3\xA9"), u"café");
}

TEST(ClipboardFormats, BoundsContentsByCountBytesAndNames) {
    ClipboardContents in;
    in.formats = {{"a/a", "123"},  {"a/a", "dup"}, {"", "x"},
                  {"b/b", "4567"}, {"c/c", "89"},  {"d/d", "0"}};
    struct Case {
        int maxFormats;
        std::size_t maxBytes;
        std::vector<std::string> kept;
    };
    const Case cases[] = {
        {32, 100, {"a/a", "b/b", "c/c", "d/d"}},
        {2, 100, {"a/a", "b/b"}},
        {32, 6, {"a/a", "c/c", "d/d"}},  // b/b does not fit; the smaller ones after it do
        {32, 0, {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> kept;
        for (const auto& f : BoundContents(in, c.maxFormats, c.maxBytes).formats)
            kept.push_back(f.first);
        EXPECT_EQ(kept, c.kept) << c.maxFormats << " " << c.maxBytes;
    }
}

// Frames of 2x2 pixels, rows top first unless inverted.
std::vector<std::uint8_t> Words(const std::vector<std::uint32_t>& words, int stride, int width) {
    std::vector<std::uint8_t> out;
    const int rows = static_cast<int>(words.size()) / width;
    out.resize(static_cast<size_t>(stride) * rows, 0xEE);
    for (size_t i = 0; i < words.size(); ++i)
        std::memcpy(out.data() + (i / width) * stride + (i % width) * 4, &words[i], 4);
    return out;
}

TEST(ScreenCompose, PlacesOutputsUprightInOneLayout) {
    const auto left = Words({0x00112233, 0x00445566, 0x00778899, 0x00AABBCC}, 12, 2);
    const auto right = Words({0x11000001, 0x11000002, 0x11000003, 0x11000004}, 8, 2);
    OutputFrame a{-2, 0, 2, 2, 12, kXrgb8888, false, left.data()};
    OutputFrame b{0, 1, 2, 2, 8, kArgb8888, true, right.data()};
    const Bitmap s = ComposeScreen({a, b});
    ASSERT_EQ(s.width, 4);
    ASSERT_EQ(s.height, 3);
    const std::vector<std::uint32_t> want = {
        0xFF112233, 0xFF445566, 0xFF000000, 0xFF000000,  // b starts a row lower
        0xFF778899, 0xFFAABBCC, 0xFF000003, 0xFF000004,  // b's last row first: y-inverted
        0xFF000000, 0xFF000000, 0xFF000001, 0xFF000002,
    };
    EXPECT_EQ(s.pixels, want);
}

TEST(ScreenCompose, ReadsBothChannelOrdersAndLeavesOutUnreadableFrames) {
    const auto px = Words({0x00332211}, 4, 1);
    struct Case {
        std::uint32_t format;
        int stride;
        int width;
        std::uint32_t want;  // 0: nothing composed
    };
    const Case cases[] = {
        {kXrgb8888, 4, 1, 0xFF332211},
        {kArgb8888, 4, 1, 0xFF332211},
        {kXbgr8888, 4, 1, 0xFF112233},
        {kAbgr8888, 4, 1, 0xFF112233},
        {0x20203852 /* RGB888 */, 4, 1, 0},
        {kXrgb8888, 3, 1, 0},  // stride too short
        {kXrgb8888, 4, 0, 0},
    };
    for (const Case& c : cases) {
        const Bitmap s =
            ComposeScreen({OutputFrame{0, 0, c.width, 1, c.stride, c.format, false, px.data()}});
        if (c.want == 0) {
            EXPECT_TRUE(s.empty()) << std::hex << c.format;
        } else {
            ASSERT_EQ(s.pixels.size(), 1u);
            EXPECT_EQ(s.pixels[0], c.want) << std::hex << c.format;
        }
    }
    // Outputs far apart would make a picture larger than any screen: none.
    OutputFrame near{0, 0, 1, 1, 4, kXrgb8888, false, px.data()};
    OutputFrame far{kMaxSide * 8, 0, 1, 1, 4, kXrgb8888, false, px.data()};
    EXPECT_TRUE(ComposeScreen({near, far}).empty());
    EXPECT_EQ(LayoutRect({{0, 0, 1280, 800}, {1280, -100, 2560, 980}, {5, 5, 5, 5}}),
              (Rect{0, -100, 2560, 980}));
}

using Clock = std::chrono::steady_clock;

TEST(PipeIo, ReadsAreBoundedInBytesAndTime) {
    struct Case {
        std::string written;
        bool closeWriter;
        std::size_t maxBytes;
        ReadEnd end;
    };
    const Case cases[] = {
        {"hello", true, 100, ReadEnd::Complete},
        {"", true, 100, ReadEnd::Complete},
        {std::string(50, 'x'), true, 10, ReadEnd::TooLarge},
        {"partial", false, 100, ReadEnd::TimedOut},  // the writer keeps it open
    };
    for (const Case& c : cases) {
        UniqueFd r, w;
        ASSERT_TRUE(MakeReadPipe(r, w));
        ASSERT_EQ(write(w.Get(), c.written.data(), c.written.size()),
                  static_cast<ssize_t>(c.written.size()));
        if (c.closeWriter) w.Reset();
        const auto start = Clock::now();
        const PipeRead got = ReadAll(r.Get(), c.maxBytes, start + std::chrono::milliseconds(200));
        EXPECT_EQ(got.end, c.end) << c.written;
        EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(1500));
        if (c.end == ReadEnd::Complete) {
            EXPECT_EQ(got.bytes, c.written);
        }
    }
}

TEST(PipeIo, AnAnswerNobodyReadsEndsAtItsDeadlineAndClosesThePipe) {
    sigset_t pipe, old;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &old);
    {
        // More than a pipe holds, and nobody reads.
        UniqueFd r, w;
        ASSERT_TRUE(MakeReadPipe(r, w));
        auto data = std::make_shared<const std::string>(1 << 20, 'y');
        PendingWrite answer(std::move(w), data, Clock::now() + std::chrono::milliseconds(100));
        EXPECT_FALSE(answer.Pump());
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        EXPECT_TRUE(answer.Pump());
        // The reader sees what fitted and then the end: the write end is closed.
        const PipeRead rest = ReadAll(r.Get(), 2 << 20, Clock::now() + std::chrono::seconds(2));
        EXPECT_EQ(rest.end, ReadEnd::Complete);
        EXPECT_GT(rest.bytes.size(), 0u);
        EXPECT_LT(rest.bytes.size(), data->size());
    }
    {
        // The reader went: the answer ends at once, without a signal reaching us.
        UniqueFd r, w;
        ASSERT_TRUE(MakeReadPipe(r, w));
        r.Reset();
        PendingWrite answer(std::move(w), std::make_shared<const std::string>("z"),
                            Clock::now() + std::chrono::seconds(10));
        EXPECT_TRUE(answer.Pump());
        sigset_t pending;
        sigpending(&pending);
        EXPECT_FALSE(sigismember(&pending, SIGPIPE));
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

}  // namespace
}  // namespace velmora::platform::wayland

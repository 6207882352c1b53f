// The data-control clipboard against a real headless sway, with wl-copy, wl-paste and owners
// of our own making as the other programs.

#include "platform/wayland/DataControlClipboard.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "HeadlessSway.h"
#include "StubbornOwner.h"
#include "WlClipboardTools.h"
#include "platform/Utf8.h"
#include "support/PollUntil.h"
#include "support/SleepLoop.h"
#include "support/TempDir.h"

namespace velmora::platform::wayland {
namespace {

constexpr int kReadMs = 1500;
const std::u16string kMixed = u"你好, world! 中文 and ASCII — ✓ 😀\n第二行";

Bitmap Picture(int w, int h, std::uint32_t seed) {
    Bitmap b;
    b.width = w;
    b.height = h;
    for (int i = 0; i < w * h; ++i)
        b.pixels.push_back(0xFF000000u | ((seed * 2654435761u + i * 40503u) & 0xFFFFFFu));
    return b;
}

std::vector<std::uint32_t> PixelsOf(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    std::vector<std::uint32_t> out;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) out.push_back(image.pixel(x, y));
    return out;
}

std::string Png(const Bitmap& b) {
    QImage image(b.width, b.height, QImage::Format_ARGB32);
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x) image.setPixel(x, y, b.pixels[y * b.width + x]);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png.toStdString();
}

// Counts what other threads hand the loop: a served paste wakes it through Post.
class CountingLoop : public SleepLoop {
  public:
    void Post(std::function<void()> fn) override {
        ++posts;
        SleepLoop::Post(std::move(fn));
    }
    std::atomic<int> posts = 0;
};

class DataControlClipboardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(sway_.WaitReady()) << sway_.Log();
        clip_ = Open();
        ASSERT_TRUE(clip_->Available()) << sway_.Log();
    }
    void TearDown() override {
        if (HasFailure()) ADD_FAILURE() << "sway's log:\n" << sway_.Log();
    }
    std::unique_ptr<DataControlClipboard> Open() {
        DataControlClipboard::Options o;
        o.display = sway_.WaylandDisplay();
        o.readMs = kReadMs;
        return std::make_unique<DataControlClipboard>(loop_, o);
    }
    ToolRun Paste(const std::string& type) {
        return RunTool(sway_, runtime_, {"wl-paste", "--no-newline", "--type", type});
    }

    HeadlessSway sway_;
    TempDir runtime_;
    CountingLoop loop_;
    std::unique_ptr<DataControlClipboard> clip_;
};

TEST_F(DataControlClipboardTest, ServesItsTextToEveryPasteAndCountsEach) {
    ASSERT_TRUE(clip_->SetText(kMixed));
    // Our own selection comes from memory: no paste of ours is counted.
    EXPECT_EQ(clip_->Text(), kMixed);
    EXPECT_EQ(clip_->Reads(), 0);

    // Each paste is served while this thread waits for wl-paste and runs no loop at all.
    const std::string utf8 = Utf8Encode(kMixed);
    int pastes = 0;
    for (const char* type : {"text/plain;charset=utf-8", "UTF8_STRING", "text/plain", "TEXT"}) {
        const int posts = loop_.posts;
        const ToolRun run = Paste(type);
        EXPECT_EQ(run.status, 0) << type;
        EXPECT_EQ(run.out, utf8) << type;
        EXPECT_EQ(clip_->Reads(), ++pastes) << type;
        EXPECT_GT(loop_.posts, posts) << type << ": the loop was not woken";
    }

    // A new text starts its own count.
    ASSERT_TRUE(clip_->SetText(u"second"));
    EXPECT_EQ(clip_->Reads(), 0);
    EXPECT_EQ(Paste("text/plain").out, "second");
    EXPECT_EQ(clip_->Reads(), 1);
    // A loop turn runs the wakes the served pastes posted, and nothing else breaks.
    loop_.Wait(20);
}

TEST_F(DataControlClipboardTest, WithoutACompositorEverythingFailsAtOnce) {
    DataControlClipboard::Options o;
    o.display = (runtime_.path() / "no-such-display").string();
    DataControlClipboard none(loop_, o);
    EXPECT_FALSE(none.Available());
    EXPECT_FALSE(none.SetText(u"x"));
    EXPECT_EQ(none.Text(), std::nullopt);
    EXPECT_EQ(none.Save(), std::nullopt);
    EXPECT_TRUE(none.Image().empty());
    EXPECT_FALSE(none.Clear());
    EXPECT_EQ(none.Reads(), 0);
}

TEST_F(DataControlClipboardTest, ReadsWhatAnotherProgramCopiedAndClears) {
    {
        WlCopy copy(sway_, runtime_, "text/plain;charset=utf-8", Utf8Encode(kMixed));
        EXPECT_TRUE(PollUntil([&] { return clip_->Text() == kMixed; }, 10000, 50))
            << Utf8Encode(clip_->Text().value_or(u"<nullopt>"));
        EXPECT_EQ(clip_->Reads(), 0);

        ASSERT_TRUE(clip_->Clear());
        EXPECT_EQ(clip_->Text(), std::u16string());
        const ToolRun run = Paste("text/plain");
        EXPECT_NE(run.status, 0);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(RunTool(sway_, runtime_, {"wl-paste", "--list-types"}).out, "");
    }
    // Ours cleared the same way.
    ASSERT_TRUE(clip_->SetText(u"gone soon"));
    ASSERT_EQ(Paste("text/plain").out, "gone soon");
    ASSERT_TRUE(clip_->Clear());
    EXPECT_NE(Paste("text/plain").status, 0);
}

TEST_F(DataControlClipboardTest, SavesAndRestoresEveryTypeByteForByte) {
    std::string binary;
    for (int i = 0; i < 300000; ++i) binary.push_back(static_cast<char>((i * 7) & 0xFF));
    ClipboardContents offered;
    offered.formats = {{"text/plain;charset=utf-8", Utf8Encode(kMixed)},
                       {"text/html", "<b>粗体</b>"},
                       {"application/x-velmora-test", binary},
                       {"application/x-empty", ""}};
    auto peer = Open();
    ASSERT_TRUE(peer->Restore(offered));

    std::optional<ClipboardContents> saved;
    ASSERT_TRUE(PollUntil(
        [&] {
            saved = clip_->Save();
            return saved && saved->formats.size() == offered.formats.size();
        },
        10000, 50));
    auto sorted = [](std::vector<std::pair<std::string, std::string>> v) {
        std::sort(v.begin(), v.end());
        return v;
    };
    EXPECT_EQ(sorted(saved->formats), sorted(offered.formats));

    // Someone else's text replaces it; ours puts every type back.
    ASSERT_TRUE(peer->SetText(u"meanwhile"));
    ASSERT_TRUE(PollUntil([&] { return clip_->Text() == u"meanwhile"; }, 10000, 50));
    ASSERT_TRUE(clip_->Restore(*saved));
    for (const auto& [type, bytes] : offered.formats) {
        const ToolRun run = Paste(type);
        EXPECT_EQ(run.status, 0) << type;
        EXPECT_TRUE(run.out == bytes) << type << ": " << run.out.size() << " bytes";
    }
    // The other side reads them the same way.
    EXPECT_EQ(peer->Text(), kMixed);

    // Empty contents empty the clipboard.
    ASSERT_TRUE(clip_->Restore(ClipboardContents{}));
    EXPECT_NE(Paste("text/plain").status, 0);
}

TEST_F(DataControlClipboardTest, PutsPicturesOnTheClipboardAndReadsOthers) {
    const Bitmap ours = Picture(5, 3, 1);
    ASSERT_TRUE(clip_->SetImage(ours));
    ASSERT_TRUE(clip_->Text());  // a round trip: the selection is ours now
    const ToolRun run = Paste("image/png");
    ASSERT_EQ(run.status, 0);
    const QImage got = QImage::fromData(QByteArray::fromStdString(run.out), "PNG");
    ASSERT_FALSE(got.isNull());
    EXPECT_EQ(got.width(), 5);
    EXPECT_EQ(got.height(), 3);
    EXPECT_EQ(PixelsOf(got), ours.pixels);
    EXPECT_EQ(clip_->Text(), std::u16string());  // a picture is no text

    const Bitmap theirs = Picture(4, 6, 2);
    WlCopy copy(sway_, runtime_, "image/png", Png(theirs));
    Bitmap read;
    ASSERT_TRUE(PollUntil(
        [&] {
            read = clip_->Image();
            return read.width == 4;
        },
        10000, 50));
    EXPECT_EQ(read.height, 6);
    EXPECT_EQ(read.pixels, theirs.pixels);
}

// An owner that never writes, never stops or closes at once costs a bounded wait, and the
// clipboard serves pastes as before afterwards.
TEST_F(DataControlClipboardTest, AnOwnerThatMisbehavesCostsABoundedWait) {
    std::vector<std::string> many;
    for (int i = 0; i < 1000; ++i) many.push_back("application/x-junk-" + std::to_string(i));
    many.push_back("text/plain;charset=utf-8");
    const std::vector<std::string> text{"text/plain;charset=utf-8", "UTF8_STRING"};

    struct Case {
        const char* name;
        const std::vector<std::string>& types;
        StubbornOwner::Answer answer;
        bool textRead;  // Text() gives a value (empty) rather than nullopt
    };
    const Case cases[] = {
        {"silent", text, StubbornOwner::Answer::Silent, false},
        {"endless", many, StubbornOwner::Answer::Endless, false},
        {"closes at once", many, StubbornOwner::Answer::CloseAtOnce, true},
    };
    using Clock = std::chrono::steady_clock;
    // What a hang would break; a loaded machine (two builds beside the test) stretches the
    // bounded waits by seconds.
    constexpr long kSlackMs = 6000;
    const auto ms = [](Clock::time_point since) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StubbornOwner owner(sway_.WaylandDisplay(), c.types, c.answer);
        ASSERT_TRUE(owner.Owning());
        // The owner's round trip came after sway told us of its offer; Text's own round
        // trip hands it to us.

        auto start = Clock::now();
        const auto text = clip_->Text();
        EXPECT_LE(ms(start), kReadMs + kSlackMs);
        EXPECT_EQ(text.has_value(), c.textRead);
        if (text) {
            EXPECT_EQ(*text, u"");
        }

        start = Clock::now();
        const auto saved = clip_->Save();
        EXPECT_LE(ms(start), 4 * kReadMs + kSlackMs);
        if (c.answer == StubbornOwner::Answer::CloseAtOnce) {
            // Every type answered (with nothing): as many as a clipboard keeps.
            ASSERT_TRUE(saved);
            EXPECT_EQ(saved->formats.size(),
                      static_cast<size_t>(DataControlClipboard::kMaxFormats));
        } else if (c.answer == StubbornOwner::Answer::Silent) {
            EXPECT_FALSE(saved);
        } else if (saved) {
            EXPECT_TRUE(saved->formats.empty());
        }
        EXPECT_GT(owner.Requests(), 0);
    }
    ASSERT_TRUE(clip_->SetText(u"still here"));
    EXPECT_EQ(Paste("text/plain").out, "still here");
    EXPECT_EQ(clip_->Reads(), 1);
}

}  // namespace
}  // namespace velmora::platform::wayland

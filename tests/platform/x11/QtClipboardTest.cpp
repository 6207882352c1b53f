// The Qt clipboard and screen grab against another process on the same display (xclip).

#include <gtest/gtest.h>

#include <QApplication>
#include <QProcess>

#include "platform/SystemScreen.h"
#include "platform/qt/QtClipboard.h"
#include "platform/qt/QtEventLoop.h"
#include "support/TinyPng.h"

namespace velmora::platform::qt {
namespace {

// Runs a command while our event loop keeps serving the clipboard to it.
QString RunServed(QtEventLoop& loop, const QStringList& args, const QByteArray& input = {}) {
    QProcess p;
    QObject::connect(&p, &QProcess::finished, [&loop] { loop.Wake(); });
    p.start(QStringLiteral("xclip"), args);
    if (!input.isNull()) {
        p.write(input);
        p.closeWriteChannel();
    }
    loop.WaitUntil([&] { return p.state() == QProcess::NotRunning; }, 5000);
    while (p.state() != QProcess::NotRunning) loop.Wait(20);
    return QString::fromUtf8(p.readAllStandardOutput());
}

class QtClipboardTest : public ::testing::Test {
  protected:
    QtEventLoop loop;
    SystemClipboard clipboard{loop};
};

TEST_F(QtClipboardTest, TextRoundTripsWithAnotherProcess) {
    const std::u16string ours = u"你好, world\r\nsecond line";
    ASSERT_TRUE(clipboard.SetText(ours));
    QString seen = RunServed(loop, {"-selection", "clipboard", "-o"});
    EXPECT_EQ(seen, QString::fromStdU16String(ours));

    // xclip keeps serving in the background after it read its input.
    QProcess::execute(QStringLiteral("sh"),
                      {"-c", "printf 'from xclip\\r\\nline 2' | xclip -selection clipboard -i"});
    bool changed = loop.WaitUntil(
        [&] { return clipboard.Text() == std::optional<std::u16string>(u"from xclip\r\nline 2"); },
        3000);
    // dataChanged may arrive a little after the owner changed; a last look settles it.
    if (!changed) loop.Wait(300);
    EXPECT_EQ(clipboard.Text(), std::optional<std::u16string>(u"from xclip\r\nline 2"));
}

TEST_F(QtClipboardTest, EachPasteByAnotherProgramIsCountedOurOwnReadsAreNot) {
    ASSERT_TRUE(clipboard.SetText(u"translation"));
    EXPECT_EQ(clipboard.Reads(), 0);
    EXPECT_EQ(clipboard.Text(), std::optional<std::u16string>(u"translation"));
    EXPECT_EQ(clipboard.Reads(), 0);
    RunServed(loop, {"-selection", "clipboard", "-o"});
    const int afterOne = clipboard.Reads().value_or(0);
    EXPECT_GE(afterOne, 1);
    RunServed(loop, {"-selection", "clipboard", "-o"});
    EXPECT_GT(clipboard.Reads().value_or(0), afterOne);
    // A new text starts the count over.
    ASSERT_TRUE(clipboard.SetText(u"next"));
    EXPECT_EQ(clipboard.Reads(), 0);
}

TEST_F(QtClipboardTest, AnImageAnotherProgramHeldComesBackWhole) {
    const QByteArray png = TinyPng();
    ASSERT_FALSE(png.isEmpty());
    QProcess::execute(QStringLiteral("sh"),
                      {"-c", "printf '%s' '" + QString::fromLatin1(png.toBase64()) +
                                 "' | base64 -d | xclip -selection clipboard -t image/png -i"});
    ASSERT_TRUE(loop.WaitUntil([&] { return !clipboard.Image().empty(); }, 3000));
    const auto saved = clipboard.Save();
    ASSERT_TRUE(saved.has_value());
    ASSERT_TRUE(clipboard.SetText(u"translation"));
    ASSERT_TRUE(clipboard.Restore(*saved));
    // What another program now gets is the very image.
    QProcess p;
    p.start(QStringLiteral("xclip"), {"-selection", "clipboard", "-t", "image/png", "-o"});
    loop.WaitUntil([&] { return p.state() == QProcess::NotRunning; }, 5000);
    EXPECT_EQ(p.readAllStandardOutput(), png);
    EXPECT_EQ(clipboard.Text(), std::optional<std::u16string>(u""));
}

TEST_F(QtClipboardTest, ClearLeavesNoText) {
    clipboard.SetText(u"something");
    ASSERT_TRUE(clipboard.Clear());
    loop.Wait(50);
    EXPECT_EQ(clipboard.Text(), std::optional<std::u16string>(u""));
}

TEST_F(QtClipboardTest, ImageConversionKeepsEveryPixel) {
    Bitmap b;
    b.width = 3;
    b.height = 2;
    b.pixels = {0xFF112233u, 0xFF445566u, 0xFF778899u, 0xFFAABBCCu, 0xFFDDEEFFu, 0xFF000000u};
    Bitmap back = FromQImage(ToQImage(b));
    EXPECT_EQ(back.width, 3);
    EXPECT_EQ(back.height, 2);
    EXPECT_EQ(back.pixels, b.pixels);
    // A short pixel buffer is refused rather than read past its end.
    b.pixels.pop_back();
    EXPECT_TRUE(ToQImage(b).isNull());
}

TEST_F(QtClipboardTest, ScreenCaptureLandsOnTheClipboardForOthers) {
    SystemScreen screen(clipboard);
    clipboard.SetText(u"earlier content");
    screen.CaptureToClipboard();
    Rect v = screen.VirtualScreen();
    Bitmap shot = clipboard.Image();
    EXPECT_EQ(shot.width, v.right - v.left);
    EXPECT_EQ(shot.height, v.bottom - v.top);
    EXPECT_GT(shot.width, 0);
    QString targets = RunServed(loop, {"-selection", "clipboard", "-o", "-t", "TARGETS"});
    EXPECT_TRUE(targets.contains(QStringLiteral("image/png"))) << targets.toStdString();
}

}  // namespace
}  // namespace velmora::platform::qt

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

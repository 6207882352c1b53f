#include "app/core/Program.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "RecordingWindow.h"
#include "platform/fake/FakePlatform.h"
#include "relay/fake/RecordingResultBox.h"

namespace velmora::app {
namespace {

using platform::fake::FakePlatform;

// A global shortcut that another program may hold; says when it is given back.
class FakeHotkey : public platform::IHotkey {
  public:
    FakeHotkey(bool taken, std::vector<std::string>& log) : taken_(taken), log_(log) {}
    ~FakeHotkey() override { log_.push_back("hotkey gone"); }
    bool Register(const platform::HotkeyChord& chord, std::string& why) override {
        if (taken_) {
            why = std::string(platform::kHotkeyTaken);
            return false;
        }
        log_.push_back("hotkey " + ShortcutText(chord));
        return true;
    }
    void Unregister() override {}
    void SetHandler(std::function<void()> onPressed) override { handler = std::move(onPressed); }
    std::function<void()> handler;

  private:
    bool taken_;
    std::vector<std::string>& log_;
};

// A window that attaches itself to its controller for its lifetime, as the real ones do.
class AttachedWindow : public testing::RecordingWindow {
  public:
    explicit AttachedWindow(MainController& c) : controller_(c) { c.Attach(*this, box_); }
    ~AttachedWindow() override { controller_.Detach(); }

  private:
    MainController& controller_;
    relay::fake::RecordingResultBox box_;
};

// The platform's part, over fakes: records what the program asks of it.
class FakeFrontEnd : public IFrontEnd {
  public:
    platform::Platform& Ports() override { return ports; }
    platform::IHttp& DownloadHttp() override { return fp.http; }
    platform::IProgramRunner& Programs() override { return programs; }
    void Report(const std::string& line) override { log.push_back("report " + line); }
    Configuration ReadConfiguration(const std::filesystem::path& file, Diagnostics&) override {
        ++reads;
        Configuration c = onDisk;
        c.file = file;
        return c;
    }
    target::ISnapShotOverlay& Overlay() override { return overlay; }
    target::ISendShortcutDialog& ShortcutDialog() override { return shortcutDialog; }
    void ShowUpdateWindow() override { log.push_back("update window"); }
    void CloseUpdateWindow() override { log.push_back("update window closed"); }
    std::unique_ptr<IMainWindow> CreateMainWindow(MainController& c) override {
        auto w = std::make_unique<AttachedWindow>(c);
        window = w.get();
        controller = &c;
        return w;
    }
    bool RunEngineSettings(IMainWindow&, const std::filesystem::path&,
                           const EngineTrial&) override {
        return saveEngines;
    }
    std::unique_ptr<platform::IHotkey> NewHotkey(std::string&) override {
        auto h = std::make_unique<FakeHotkey>(hotkeyTaken, log);
        hotkey = h.get();
        return h;
    }

    struct NoPrograms : platform::IProgramRunner {
        std::unique_ptr<platform::IPipeline> NewPipeline() override { return nullptr; }
        platform::RunResult Run(const platform::Argv&, std::string_view, int,
                                std::size_t) override {
            return {};
        }
    } programs;
    FakePlatform fp;
    platform::Platform ports = fp.platform();
    testing::NoOverlay overlay;
    testing::NoShortcutDialog shortcutDialog;
    Configuration onDisk;
    std::vector<std::string> log;
    int reads = 0;
    bool saveEngines = false;
    bool hotkeyTaken = false;
    testing::RecordingWindow* window = nullptr;
    MainController* controller = nullptr;
    FakeHotkey* hotkey = nullptr;
};

class ProgramTest : public ::testing::Test {
  protected:
    ProgramTest() { fe.onDisk.inPlaceShortcut = ParseShortcut("Ctrl+Alt+F9"); }
    FakeFrontEnd fe;
};

TEST_F(ProgramTest, TheInPlaceShortcutIsTakenOnceTheWindowExistsAndGivenBackFirstAtTheEnd) {
    {
        Program program(fe, "/home/u/.config/velmora/velmora.conf");
        program.CreateMainWindow();
        ASSERT_NE(fe.window, nullptr);
        EXPECT_EQ(fe.window->caption, u"Quillet2009正式版") << "the load handler ran";
        EXPECT_EQ(fe.log, (std::vector<std::string>{"hotkey Ctrl+Alt+F9"}));
        ASSERT_TRUE(fe.hotkey->handler);
    }
    EXPECT_EQ(fe.log.at(1), "hotkey gone") << "before the window and the update window";
    EXPECT_EQ(fe.log.back(), "update window closed");
}

TEST_F(ProgramTest, AShortcutHeldByAnotherProgramIsReportedAndTold) {
    fe.hotkeyTaken = true;
    Program program(fe, "velmora.conf");
    program.CreateMainWindow();
    const std::string report =
        "report in-place translation shortcut Ctrl+Alt+F9: " + std::string(platform::kHotkeyTaken);
    EXPECT_NE(std::find(fe.log.begin(), fe.log.end(), report), fe.log.end());
    EXPECT_EQ(fe.window->tip, u"就地翻译快捷键 Ctrl+Alt+F9 已被其他程序占用");
}

TEST_F(ProgramTest, SettingsSavedDuringAJobApplyOnlyOnceItEnded) {
    Program program(fe, "velmora.conf");
    program.CreateMainWindow();
    const int readsBefore = fe.reads;
    fe.onDisk.inPlaceShortcut = ParseShortcut("Ctrl+Alt+F10");
    fe.window->saveInPlace = true;

    program.Controller()->State().SendRunning = true;
    fe.controller->OnMenu(MenuCommand::InPlaceSettings);
    fe.fp.loop.Run(2'000);
    EXPECT_EQ(fe.reads, readsBefore) << "a job runs: nothing changes under it";
    EXPECT_EQ(fe.log.back(), "hotkey Ctrl+Alt+F9");

    program.Controller()->State().SendRunning = false;
    fe.fp.loop.Run(2'000);
    EXPECT_EQ(fe.reads, readsBefore + 1);
    EXPECT_EQ(fe.log.back(), "hotkey Ctrl+Alt+F10");
    EXPECT_TRUE(fe.fp.loop.Idle()) << "and the watch for the job's end stops";

    // Saved with no job running: at once.
    fe.saveEngines = true;
    fe.controller->OnMenu(MenuCommand::EngineSettings);
    EXPECT_EQ(fe.reads, readsBefore + 2);
}

}  // namespace
}  // namespace velmora::app

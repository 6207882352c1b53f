#include <QApplication>
#include <QFont>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

#include "app/AppConfig.h"
#include "app/QtPlatformFactory.h"
#include "app/QtWebPane.h"
#include "app/frmAutoUpdate.h"
#include "app/frmMain.h"
#include "app/mduMain.h"
#include "platform/posix/PosixProcess.h"

using namespace velmora;

namespace {

// The windows of start-up, created on demand.
class Shell : public app::IStartupShell {
  public:
    Shell(platform::Platform& p, const app::AppConfig& c, app::IUpdateServices& u,
          translate::ITranslator& t)
        : platform_(p), config_(c), update_(u), translator_(t) {}
    void ShowUpdateWindow() override {
        updateWindow_ = std::make_unique<app::frmAutoUpdate>();
        updateWindow_->show();
    }
    void CloseUpdateWindow() override { updateWindow_.reset(); }
    void Yield() override { platform_.loop.Yield(); }
    void CreateMainWindow() override {
        main_ = std::make_unique<app::frmMain>(platform_, config_, update_, translator_);
        main_->Load();
    }
    void ShowMainWindow() override { main_->show(); }
    void CloseMainWindowFromCode() override { main_->CloseFromCode(); }

  private:
    platform::Platform& platform_;
    const app::AppConfig& config_;
    app::IUpdateServices& update_;
    translate::ITranslator& translator_;
    std::unique_ptr<app::frmAutoUpdate> updateWindow_;
    std::unique_ptr<app::frmMain> main_;
};

}  // namespace

int main(int argc, char** argv) {
    const std::string args = app::JoinArguments(argc, argv);
    if (app::ModeOf(args) == app::StartMode::Version) {
        // No window and no network in this mode: only the unit id and the file.
        struct UnitIdOnly : app::NullUpdateServices {
            std::string GetUnitId() override { return app::UnitIdWithoutDisplay(); }
        } update;
        struct NoWindows : app::IStartupShell {
            void ShowUpdateWindow() override {}
            void CloseUpdateWindow() override {}
            void Yield() override {}
            void CreateMainWindow() override {}
            void ShowMainWindow() override {}
            void CloseMainWindowFromCode() override {}
        } none;
        std::string error;
        platform::posix::PosixProcess process;
        if (app::Main(args, process.ProgramFolder(), update, none, &error) ==
            app::StartOutcome::VersionFailed) {
            std::fprintf(stderr, "velmora: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }

    if (!app::DisplayReachable()) {
        const char* d = std::getenv("DISPLAY");
        std::fprintf(stderr,
                     "velmora: cannot reach an X display (DISPLAY=%s); start it inside an X11 "
                     "session\n",
                     d ? d : "");
        return 2;
    }

    app::QtWebPane::PrepareEnvironment();
    QApplication qtApp(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(12);
    QApplication::setFont(font);

    const app::AppConfig config = app::AppConfig::FromEnvironment();
    std::unique_ptr<app::PlatformBackends> made;
    try {
        made = std::make_unique<app::PlatformBackends>(config);
    } catch (const std::exception& e) {
        // For instance an X server without the XTest extension: nothing could be driven.
        std::fprintf(stderr, "velmora: %s\n", e.what());
        return 2;
    }
    app::PlatformBackends& backends = *made;
    Shell shell(backends.platform(), config, backends.update(), backends.translator());
    app::Main(args, backends.platform().process.ProgramFolder(), backends.update(), shell);
    return qtApp.exec();
}

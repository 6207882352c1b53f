#include <QApplication>
#include <QFont>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

#include "app/Backends.h"
#include "app/CompositionRoot.h"
#include "app/QtWebPane.h"
#include "app/core/Configuration.h"
#include "app/core/mduMain.h"
#include "platform/posix/PosixProcess.h"

using namespace velmora;

namespace {

// The version mode opens no window and uses no network: only the unit id and the file.
int WriteVersionOnly(const std::string& args) {
    struct NoWindows : app::IStartupShell {
        void ShowUpdateWindow() override {}
        void CloseUpdateWindow() override {}
        void Yield() override {}
        void CreateMainWindow() override {}
        void ShowMainWindow() override {}
        void CloseMainWindowFromCode() override {}
    } none;
    update::NullUpdateServices noUpdate;
    platform::posix::PosixProcess process;
    std::string error;
    if (app::Main(args, process.ProgramFolder(), app::ProcessorIdWithoutDisplay(), noUpdate, none,
                  &error) == app::StartOutcome::VersionFailed) {
        std::fprintf(stderr, "velmora: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string args = app::JoinArguments(argc, argv);
    if (app::ModeOf(args) == app::StartMode::Version) return WriteVersionOnly(args);

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

    std::unique_ptr<app::CompositionRoot> root;
    try {
        root =
            std::make_unique<app::CompositionRoot>(app::DefaultConfigFile(app::ProcessEnvironment));
    } catch (const std::exception& e) {
        // For instance an X server without the XTest extension: nothing could be driven.
        std::fprintf(stderr, "velmora: %s\n", e.what());
        return 2;
    }
    root->Start(args);
    return qtApp.exec();
}

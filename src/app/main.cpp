#include <QApplication>
#include <QFont>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string_view>

#include "app/Backends.h"
#include "app/QtFrontEnd.h"
#include "app/QtWebPane.h"
#include "app/core/Configuration.h"
#include "app/core/Program.h"
#include "app/core/mduMain.h"
#include "platform/SessionKind.h"
#include "platform/posix/PosixProcess.h"
#include "platform/posix/TriggerSocket.h"
#include "platform/qt/QtActivation.h"

using namespace velmora;

namespace {

// `velmora --trigger <command>`: tells the running program, then ends. 0 when it took the
// command, 1 when it refused it (in-place translation switched off), 3 when none runs.
int Trigger(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: velmora --trigger inplace\n");
        return 2;
    }
    switch (platform::posix::SendTrigger(platform::posix::TriggerSocketPath(), argv[2])) {
        case platform::posix::TriggerResult::Done:
            return 0;
        case platform::posix::TriggerResult::Refused:
            std::fprintf(stderr,
                         "velmora: the running program refused \"%s\" (is the in-place "
                         "translation switched on?)\n",
                         argv[2]);
            return 1;
        case platform::posix::TriggerResult::NoProgram:
            break;
    }
    std::fprintf(stderr, "velmora: no running Velmora to trigger\n");
    return 3;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string_view(argv[1]) == "--trigger") return Trigger(argc, argv);
    const std::string args = app::JoinArguments(argc, argv);
    if (app::ModeOf(args) == app::StartMode::Version) {
        platform::posix::PosixProcess process;
        return app::WriteVersionOnly(
            args, process.ProgramFolder(), app::ProcessorIdWithoutDisplay(),
            [](const std::string& line) { std::fprintf(stderr, "velmora: %s\n", line.c_str()); });
    }

    const platform::SessionChoice session =
        platform::ChooseSession(platform::SessionEnvFromProcess());
    std::fprintf(stderr, "velmora: %s\n", session.description.c_str());
    // Sway, KDE Plasma and GNOME have backends of their own that need no X display (where
    // those cannot start, the X11 ones are tried and say why they failed); elsewhere the
    // program drives X11 windows.
    const bool ownBackends = session.kind == platform::SessionKind::Sway ||
                             session.kind == platform::SessionKind::Kde ||
                             session.kind == platform::SessionKind::Gnome;
    if (!ownBackends && !app::DisplayReachable()) {
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
    // The relay decides when our window takes the focus; the toolkit must not on its own.
    platform::qt::KeepActivationExplicit(qtApp);
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(12);
    QApplication::setFont(font);

    const std::filesystem::path configFile = app::DefaultConfigFile(app::ProcessEnvironment);
    std::unique_ptr<app::QtFrontEnd> frontEnd;
    try {
        frontEnd = std::make_unique<app::QtFrontEnd>(configFile);
    } catch (const std::exception& e) {
        // For instance an X server without the XTest extension: nothing could be driven.
        std::fprintf(stderr, "velmora: %s\n", e.what());
        return 2;
    }
    app::Program program(*frontEnd, configFile);
    program.Start(args);
    return qtApp.exec();
}

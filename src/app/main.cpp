#include <QApplication>
#include <QFont>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

#include "app/Backends.h"
#include "app/QtFrontEnd.h"
#include "app/QtWebPane.h"
#include "app/core/Configuration.h"
#include "app/core/Program.h"
#include "app/core/mduMain.h"
#include "platform/SessionKind.h"
#include "platform/posix/PosixProcess.h"

using namespace velmora;

int main(int argc, char** argv) {
    const std::string args = app::JoinArguments(argc, argv);
    if (app::ModeOf(args) == app::StartMode::Version) {
        platform::posix::PosixProcess process;
        return app::WriteVersionOnly(
            args, process.ProgramFolder(), app::ProcessorIdWithoutDisplay(),
            [](const std::string& line) { std::fprintf(stderr, "velmora: %s\n", line.c_str()); });
    }

    // Every session runs the X11 backends for now; the line tells which family it would take.
    std::fprintf(stderr, "velmora: %s\n",
                 platform::ChooseSession(platform::SessionEnvFromProcess()).description.c_str());

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

#include "app/win32/Win32Ui.h"  // windows.h, without its Yield macro

#include <commctrl.h>
#include <ole2.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>

#include "app/core/Program.h"
#include "app/core/mduMain.h"
#include "app/win32/RichResultBox.h"
#include "app/win32/Win32Backends.h"
#include "app/win32/Win32FrontEnd.h"
#include "platform/Utf8.h"

using namespace velmora;

namespace {

// The argument text as the system hands it over (everything after the program's path, never
// split into words), as UTF-8.
std::string ArgumentText(const wchar_t* commandLine) {
    const std::wstring text = commandLine ? commandLine : L"";
    return platform::Utf8Encode(std::u16string(text.begin(), text.end()));
}

std::filesystem::path ProgramFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    return std::filesystem::path(path).parent_path();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    const std::string args = ArgumentText(commandLine);
    // The processor query, the clipboard's formats and the browser control need OLE here.
    const HRESULT com = OleInitialize(nullptr);
    int code = 0;
    if (app::ModeOf(args) == app::StartMode::Version) {
        code = app::WriteVersionOnly(args, ProgramFolder(), app::win32::ProcessorIdAlone(),
                                     app::win32::Report);
    } else {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
        InitCommonControlsEx(&icc);
        app::win32::RichResultBox::LoadLibraryOnce();
        std::unique_ptr<app::win32::Win32FrontEnd> frontEnd;
        std::unique_ptr<app::Program> root;
        try {
            frontEnd = std::make_unique<app::win32::Win32FrontEnd>();
            root = std::make_unique<app::Program>(*frontEnd, app::win32::Win32ConfigFile());
        } catch (const std::exception& e) {
            app::win32::Report(e.what());
            return 2;
        }
        if (root->Start(args) == app::StartOutcome::Running) {
            MSG msg;
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            code = static_cast<int>(msg.wParam);
        }
    }
    if (SUCCEEDED(com)) OleUninitialize();
    return code;
}

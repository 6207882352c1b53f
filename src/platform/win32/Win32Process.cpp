#include "platform/win32/Win32Process.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Utf8.h"

namespace velmora::platform::win32 {

namespace fs = std::filesystem;

namespace {

std::wstring ModuleFileName() {
    std::wstring buf(MAX_PATH, L'\0');
    while (true) {
        const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) {
            buf.resize(n);
            return buf;
        }
        buf.resize(buf.size() * 2);  // truncated: try a larger buffer
    }
}

std::string Utf8Name(const fs::path& exe) {
    const std::wstring name = exe.filename().wstring();
    return Utf8Encode(std::u16string(name.begin(), name.end()));
}

std::wstring SystemFolder() {
    wchar_t buf[MAX_PATH];
    const UINT n = GetSystemDirectoryW(buf, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return L"C:\\Windows\\System32";
    return std::wstring(buf, n);
}

}  // namespace

fs::path Win32Process::Executable() {
    fs::path exe = ModuleFileName();
    if (exe.empty()) {
        std::error_code ec;
        exe = fs::current_path(ec) / L"velmora.exe";
    }
    return exe;
}

Win32Process::Win32Process(const fs::path& exe)
    : RunningProcess(exe.parent_path(), Utf8Name(exe)) {}

bool Win32Process::StartDetachedScript(const fs::path& script) {
    std::error_code ec;
    if (!fs::is_regular_file(script, ec)) return false;
    const fs::path full = fs::absolute(script, ec);
    if (ec) return false;
    // cmd expands %NAME% in its command line even inside quotes, and a folder may hold such
    // text: the script is named relative to its folder, which becomes the working directory.
    const std::wstring name = full.filename().wstring();
    if (name.find(L'%') != std::wstring::npos) return false;
    const std::wstring cmd = SystemFolder() + L"\\cmd.exe";
    // /s: cmd drops only the outermost quotes, so the quoted name survives whatever it holds.
    // /d: no AutoRun commands; /v:off: '!' stays literal.
    std::wstring line = L"cmd.exe /d /v:off /s /c \"\".\\" + name + L"\" " +
                        std::to_wstring(GetCurrentProcessId()) + L"\"";
    const std::wstring dir = full.parent_path().wstring();

    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi{};
    const DWORD flags = CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT;
    // A job that ends its processes with us would take the script along: leave it when allowed.
    BOOL ok = CreateProcessW(cmd.c_str(), line.data(), nullptr, nullptr, FALSE,
                             flags | CREATE_BREAKAWAY_FROM_JOB, nullptr, dir.c_str(), &si, &pi);
    if (!ok)
        ok = CreateProcessW(cmd.c_str(), line.data(), nullptr, nullptr, FALSE, flags, nullptr,
                            dir.c_str(), &si, &pi);
    if (!ok) return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

void Win32Process::ExitNow(int code) {
    FlushStreams();
    // TerminateProcess skips DLL detach notifications, which could wait on other threads.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
    std::_Exit(code);
}

}  // namespace velmora::platform::win32

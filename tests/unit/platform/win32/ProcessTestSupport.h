#pragma once

// Helpers of the process and update script tests: throwaway folders, files, child processes.

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

namespace velmora::platform::win32::proctest {

// A fresh folder under %TEMP% whose name holds what cmd treats specially, removed at the end.
class TempFolder {
  public:
    explicit TempFolder(const std::wstring& leaf = L"a b %PATH% & !x! ^(1)") {
        static int counter = 0;
        path_ = std::filesystem::temp_directory_path() /
                (L"velmora-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                 std::to_wstring(++counter)) /
                leaf;
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_.parent_path(), ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

inline void WriteBytes(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::string ReadBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Text in the ANSI code page, as cmd reads batch files; empty when it cannot be spelled there.
inline std::string ToAnsi(const std::u16string& text) {
    const auto* w = reinterpret_cast<const wchar_t*>(text.data());
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, &lossy);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, w, static_cast<int>(text.size()), out.data(), n, nullptr,
                        &lossy);
    return lossy ? std::string() : out;
}

// Starts a hidden child; its handle, or null.
inline HANDLE Start(const std::wstring& exe, std::wstring commandLine,
                    const std::wstring& workingDir = {}) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, workingDir.empty() ? nullptr : workingDir.c_str(), &si, &pi))
        return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

inline std::wstring CmdExe() {
    wchar_t buf[MAX_PATH];
    const UINT n = GetSystemDirectoryW(buf, MAX_PATH);
    return std::wstring(buf, n) + L"\\cmd.exe";
}

// Polls until cond() holds or timeout passed; cond()'s last value.
template <typename F>
bool PollFor(F cond, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return cond();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

inline std::filesystem::path ThisProgram() {
    wchar_t buf[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(nullptr, buf, static_cast<DWORD>(std::size(buf)));
    return std::filesystem::path(std::wstring(buf, n));
}

}  // namespace velmora::platform::win32::proctest

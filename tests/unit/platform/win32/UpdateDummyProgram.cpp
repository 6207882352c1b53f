// "velmora.exe" for the update script test. `sleep MS` only sleeps (a process to wait for);
// otherwise it appends its own file size to started.txt beside itself, which tells the old
// build from the new one (the new one carries extra bytes at its end).
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "sleep") == 0) {
        Sleep(static_cast<DWORD>(std::atoi(argv[2])));
        return 0;
    }
    wchar_t buf[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(nullptr, buf, static_cast<DWORD>(std::size(buf)));
    if (n == 0 || n >= std::size(buf)) return 1;
    const std::filesystem::path self(std::wstring(buf, n));
    std::error_code ec;
    const auto size = std::filesystem::file_size(self, ec);
    std::ofstream out(self.parent_path() / L"started.txt", std::ios::app | std::ios::binary);
    out << size << "\n";
    return out ? 0 : 1;
}

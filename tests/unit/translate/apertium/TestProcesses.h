#pragma once

// What /proc says about processes, for checks that nothing is left running, and a scratch
// folder that removes itself.

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/ProcFile.h"

namespace velmora::testing {

// Children of this process, zombies included.
inline std::vector<pid_t> ChildPids() {
    std::vector<pid_t> pids;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string stat = ReadProcFile(e.path() / "stat");
        // pid (comm) state ppid ...: comm may hold spaces and parentheses.
        auto close = stat.rfind(')');
        if (close == std::string::npos) continue;
        std::istringstream rest(stat.substr(close + 1));
        std::string state;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (ppid == getpid()) pids.push_back(std::stoi(name));
    }
    return pids;
}

// Whether a live process (not a zombie) has `arg` among its arguments.
inline bool AnyProcessWithArg(const std::string& arg) {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/proc", ec)) {
        const std::string cmdline = ReadProcFile(e.path() / "cmdline");
        std::size_t start = 0;
        while (start < cmdline.size()) {
            std::size_t end = cmdline.find('\0', start);
            if (end == std::string::npos) end = cmdline.size();
            if (cmdline.compare(start, end - start, arg) == 0) return true;
            start = end + 1;
        }
    }
    return false;
}

// Polls cond for up to two seconds: the kernel ends killed processes asynchronously.
template <class Cond>
bool Eventually(Cond cond) {
    for (int i = 0; i < 200; ++i) {
        if (cond()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return cond();
}

class TempDir {
  public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velmora-apertium-XXXXXX").string();
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path Write(const std::string& name, const std::string& text) const {
        auto p = path_ / name;
        std::ofstream(p, std::ios::binary) << text;
        return p;
    }

  private:
    std::filesystem::path path_;
};

}  // namespace velmora::testing

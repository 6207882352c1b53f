#pragma once

#ifdef _WIN32
#include <process.h>

#include <random>
#else
#include <unistd.h>
#endif

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

// A fresh folder under /tmp, removed with everything in it at the end of the test.
class TempDir {
  public:
    TempDir() {
#ifdef _WIN32
        // No mkdtemp: a random name, taken only when the folder did not exist yet.
        std::random_device random;
        for (int attempt = 0; attempt < 100; ++attempt) {
            path_ = std::filesystem::temp_directory_path() /
                    ("velmora-upd-" + std::to_string(_getpid()) + "-" + std::to_string(random()));
            std::error_code ec;
            if (std::filesystem::create_directory(path_, ec)) return;
        }
        throw std::runtime_error("cannot create a temporary folder");
#else
        std::string tmpl = (std::filesystem::temp_directory_path() / "velmora-upd-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
#endif
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const {
        return path_;
    }

  private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// In one read: the update tests compare whole program files, and a character at a time through
// an unoptimised, sanitized iterator takes seconds for those.
inline std::string ReadFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream out;
    if (in) out << in.rdbuf();
    return std::move(out).str();
}

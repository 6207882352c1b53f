#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace velmora::testing {

// A /proc file's text; empty when it cannot be read. Read with plain calls: another process
// may end between the open and the read, which fails then (ESRCH), and a stream's buffer
// throws on that.
inline std::string ReadProcFile(const std::filesystem::path& path) {
    std::string text;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(n));
    close(fd);
    return n < 0 ? std::string() : text;
}

}  // namespace velmora::testing

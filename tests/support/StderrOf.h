#pragma once

// What a call wrote to the standard error, read back from a file the stream pointed to meanwhile.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

#include "support/TempDir.h"

inline std::string StderrOf(const std::function<void()>& call) {
    TempDir dir;
    const std::string path = (dir.path() / "stderr").string();
    std::fflush(stderr);
    const int saved = dup(2);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    dup2(fd, 2);
    close(fd);
    call();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    return ReadFile(path);
}

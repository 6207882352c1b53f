#pragma once

#include <cstdio>
#include <string>

// Runs a shell command and returns what it printed on standard output.
inline std::string Shell(const std::string& cmd) {
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

// The same, without the trailing line break and blanks.
inline std::string ShellLine(const std::string& cmd) {
    std::string out = Shell(cmd);
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

#pragma once

// Starts a program from a test. posix_spawn runs no code of ours between fork and exec: after a
// plain fork in a threaded test (Qt, the web engine, sanitizers) the child can block for ever on
// a lock another thread held, the allocator's for one, before it reaches exec.

#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace velmora::testing {

using SpawnEnv = std::vector<std::pair<std::string, std::string>>;

// args[0] is the program's path; env is set or replaced in the child; stdoutFd and stderrFd,
// when not -1, become the child's; group, when not -1, is the process group the child joins (0:
// one of its own, named by its pid). The child's pid, or -1 when it could not be started.
inline pid_t Spawn(const std::vector<std::string>& args, const SpawnEnv& setEnv = {},
                   int stdoutFd = -1, int stderrFd = -1, pid_t group = -1) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const auto& kv : setEnv) replaced = replaced || kv.first == name;
        if (!replaced) env.push_back(entry);
    }
    for (const auto& [name, value] : setEnv) env.push_back(name + "=" + value);

    std::vector<char*> argv, envp;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0) posix_spawn_file_actions_adddup2(&actions, stdoutFd, 1);
    if (stderrFd >= 0) posix_spawn_file_actions_adddup2(&actions, stderrFd, 2);
    // The program starts as from a shell: no signal blocked or ignored, whatever the test's
    // own threads hold at that moment (a blocked SIGTERM would outlive the test).
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (group >= 0) {
        posix_spawnattr_setpgroup(&attr, group);
        flags |= POSIX_SPAWN_SETPGROUP;
    }
    posix_spawnattr_setflags(&attr, flags);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

}  // namespace velmora::testing

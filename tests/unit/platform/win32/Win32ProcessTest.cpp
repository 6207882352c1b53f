#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <string>

#include "ProcessTestSupport.h"
#include "platform/win32/Win32Process.h"

namespace velmora::platform::win32 {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace proctest;

TEST(Win32Process, FolderAndNameAreThoseOfTheRunningExecutable) {
    Win32Process process;
    EXPECT_EQ(process.ExecutableName(), "unit_win32_update.exe");
    EXPECT_TRUE(fs::equivalent(process.ProgramFolder() / process.ExecutableName(), ThisProgram()));
    // Not the working directory.
    const fs::path before = fs::current_path();
    fs::current_path(fs::temp_directory_path());
    EXPECT_TRUE(fs::equivalent(Win32Process().ProgramFolder(), ThisProgram().parent_path()));
    fs::current_path(before);
}

TEST(Win32Process, StartsTheScriptDetachedWithOurProcessId) {
    TempFolder dir;
    const fs::path script = dir.path() / L"write pid.bat";
    const fs::path out = dir.path() / L"got.txt";
    // Relative: the script runs in its own folder, whatever characters that folder's path holds.
    WriteBytes(script, "@echo off\r\n>got.txt echo pid=%1\r\n");
    Win32Process process;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(process.StartDetachedScript(script));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);  // it does not wait for the script
    ASSERT_TRUE(PollFor([&] { return ReadBytes(out).find("\r\n") != std::string::npos; }, 30s));
    EXPECT_EQ(ReadBytes(out), "pid=" + std::to_string(GetCurrentProcessId()) + "\r\n");

    EXPECT_FALSE(process.StartDetachedScript(dir.path() / L"missing.bat"));
    EXPECT_FALSE(process.StartDetachedScript(dir.path()));  // a folder is no script
}

}  // namespace
}  // namespace velmora::platform::win32

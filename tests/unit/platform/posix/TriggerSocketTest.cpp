// The trigger socket between a second start and the running program, over real Unix sockets.

#include "platform/posix/TriggerSocket.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace velmora::platform::posix {
namespace {

using namespace std::chrono_literals;

// Serves the listener, as the program's loop does, until the sending side has its answer.
TriggerResult SendServed(TriggerListener& listener, const std::filesystem::path& path,
                         std::string command) {
    auto answer = std::async(std::launch::async, [&] { return SendTrigger(path, command); });
    while (answer.wait_for(0ms) != std::future_status::ready) {
        pollfd p{listener.Fd(), POLLIN, 0};
        if (poll(&p, 1, 20) > 0) listener.Dispatch();
    }
    return answer.get();
}

UniqueFd RawConnect(const std::filesystem::path& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strcpy(addr.sun_path, path.c_str());
    UniqueFd fd(socket(AF_UNIX, SOCK_STREAM, 0));
    EXPECT_EQ(connect(fd.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    return fd;
}

class TriggerSocketTest : public ::testing::Test {
  protected:
    TempDir dir;
    std::filesystem::path path = dir.path() / "velmora.trigger";
    std::vector<std::string> heard;
    std::function<bool(std::string_view)> onlyInPlace = [this](std::string_view c) {
        heard.emplace_back(c);
        return c == "inplace";
    };
};

TEST_F(TriggerSocketTest, ACommandIsRunAndAnsweredAndAnUnknownOneRefused) {
    EXPECT_EQ(SendTrigger(path, "inplace"), TriggerResult::NoProgram);
    TriggerListener listener(path);
    listener.SetHandler(onlyInPlace);
    EXPECT_EQ(SendServed(listener, path, "inplace"), TriggerResult::Done);
    EXPECT_EQ(SendServed(listener, path, "format-disk"), TriggerResult::Refused);
    EXPECT_EQ(heard, (std::vector<std::string>{"inplace", "format-disk"}));

    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u) << "other users may not even connect";
}

TEST_F(TriggerSocketTest, OneProgramListensAndALeftoverSocketIsTakenOver) {
    {
        // A program that ended without removing its socket.
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strcpy(addr.sun_path, path.c_str());
        UniqueFd dead(socket(AF_UNIX, SOCK_STREAM, 0));
        ASSERT_EQ(bind(dead.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    }
    ASSERT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(SendTrigger(path, "inplace"), TriggerResult::NoProgram);

    auto first = std::make_unique<TriggerListener>(path);
    first->SetHandler(onlyInPlace);
    EXPECT_THROW(TriggerListener second(path), std::runtime_error);
    EXPECT_EQ(SendServed(*first, path, "inplace"), TriggerResult::Done)
        << "the refused second start took nothing from the first";
    first.reset();
    EXPECT_FALSE(std::filesystem::exists(path)) << "an ending program removes its socket";

    // A plain file in the socket's place is not deleted to make room.
    { std::ofstream(path) << "keep"; }
    EXPECT_THROW(TriggerListener third(path), std::runtime_error);
    EXPECT_TRUE(std::filesystem::exists(path));
}

TEST_F(TriggerSocketTest, ASilentOrEndlessClientCostsTheLoopABoundedWaitAndNothingElse) {
    TriggerListener listener(path);
    listener.SetHandler(onlyInPlace);
    UniqueFd silent = RawConnect(path);
    UniqueFd endless = RawConnect(path);
    const std::string flood(4096, 'x');
    ASSERT_GT(send(endless.Get(), flood.data(), flood.size(), 0), 0);

    const auto start = std::chrono::steady_clock::now();
    listener.Dispatch();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_TRUE(heard.empty()) << "neither said a command";
    char answer[16] = {};
    EXPECT_GT(recv(endless.Get(), answer, sizeof answer - 1, 0), 0);
    EXPECT_STREQ(answer, "refused\n");
    EXPECT_EQ(SendServed(listener, path, "inplace"), TriggerResult::Done);
}

TEST(TriggerSocketPath, TheRuntimeFolderOnlyWhenItIsPrivate) {
    TempDir runtime;
    const char* old = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = old ? old : "";
    setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    EXPECT_EQ(TriggerSocketPath(), runtime.path() / "velmora.trigger");

    chmod(runtime.path().c_str(), 0755);  // others may look in: not used
    const auto fallback = TriggerSocketPath();
    EXPECT_EQ(fallback.parent_path(), "/tmp/velmora-" + std::to_string(getuid()));
    struct stat st {};
    ASSERT_EQ(lstat(fallback.parent_path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u);

    setenv("XDG_RUNTIME_DIR", "relative/dir", 1);
    EXPECT_EQ(TriggerSocketPath(), fallback);
    if (old)
        setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    else
        unsetenv("XDG_RUNTIME_DIR");
}

}  // namespace
}  // namespace velmora::platform::posix

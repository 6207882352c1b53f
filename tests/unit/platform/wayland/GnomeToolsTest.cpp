// What the GNOME backends do without a desktop: the keysyms the portal's keyboard sends, and
// running a clipboard tool to its end within its bound.

#include <gtest/gtest.h>

#include <chrono>

#include "platform/VirtualKey.h"
#include "platform/wayland/PortalInput.h"
#include "platform/wayland/ToolRun.h"
#include "support/SleepLoop.h"

namespace velmora::platform::wayland {
namespace {

TEST(GnomeKeysTest, TheKeysAFlowTypesHaveTheirKeysyms) {
    struct Case {
        std::uint8_t vk;
        std::optional<std::uint32_t> keysym;
    };
    const Case cases[] = {
        {vk::Letter('A'), 0x61},                               // lower case: no Shift is implied
        {vk::Letter('V'), 0x76}, {'7', 0x37}, {0x11, 0xffe3},  // Ctrl
        {0xA2, 0xffe3},                                        // left Ctrl
        {0x10, 0xffe1},                                        // Shift
        {0x0D, 0xff0d},                                        // Enter
        {0x2E, 0xffff},                                        // Delete
        {0x08, 0xff08},                                        // Backspace
        {0x1B, 0xff1b},                                        // Escape
        {0xBC, std::nullopt},  // a comma's key depends on the layout: not sent
        {0x00, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(KeysymForVirtualKey(c.vk), c.keysym) << int(c.vk);
}

TEST(ToolRunTest, TheToolsInputOutputAndEndAreKeptAndBounded) {
    SleepLoop loop;
    ToolRequest echo;
    echo.args = {"sh", "-c", "cat; echo \"$VELMORA_TOOL_TEST\"; exit 3"};
    echo.env = {{"VELMORA_TOOL_TEST", "set"}};
    echo.input = std::string(300000, 'x');  // more than a pipe holds, both ways
    echo.readOutput = true;
    const ToolResult r = RunTool(loop, echo);
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out, std::string(300000, 'x') + "set\n");

    ToolRequest hang;
    hang.args = {"sleep", "30"};
    hang.timeoutMs = 300;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunTool(loop, hang).status, -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    ToolRequest missing;
    missing.args = {"velmora-no-such-tool"};
    EXPECT_EQ(RunTool(loop, missing).status, -1);

    ToolRequest flood;
    flood.args = {"sh", "-c", "head -c 100000 /dev/zero"};
    flood.readOutput = true;
    flood.maxOutput = 1000;
    const ToolResult cut = RunTool(loop, flood);
    EXPECT_TRUE(cut.out.empty()) << "output beyond the bound is not used";
}

}  // namespace
}  // namespace velmora::platform::wayland

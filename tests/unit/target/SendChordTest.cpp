#include "target/SendChord.h"

#include <gtest/gtest.h>

#include "platform/VirtualKey.h"

namespace velmora::target {
namespace {

namespace vk = platform::vk;

TEST(SendChordTest, OnlyCtrlEnterAndAltSSend) {
    struct Row {
        int key;
        bool ctrl, alt, shift, meta;
        bool sends;
    } rows[] = {
        {vk::Return, true, false, false, false, true},
        {vk::Letter('S'), false, true, false, false, true},
        {vk::Return, false, false, false, false, false},  // Enter alone is a new line
        {vk::Return, true, true, false, false, false},
        {vk::Return, true, false, true, false, false},
        {vk::Letter('S'), true, false, false, false, false},  // Ctrl+S is not ours
        {vk::Letter('S'), false, true, false, true, false},
        {vk::Letter('A'), false, true, false, false, false},
    };
    for (const Row& r : rows)
        EXPECT_EQ(IsSendChord(r.key, r.ctrl, r.alt, r.shift, r.meta), r.sends)
            << r.key << " ctrl " << r.ctrl << " alt " << r.alt << " shift " << r.shift;
}

}  // namespace
}  // namespace velmora::target

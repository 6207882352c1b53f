#include <gtest/gtest.h>

#include <stdexcept>

#include "support/NativeBackends.h"
#include "update/mduUnitId.h"

using velmora::update::mduUnitId::GetUnitId;

namespace {
struct Throwing : velmora::platform::IProcessorId {
    std::string ProcessorId() override { throw std::runtime_error("no service"); }
};
struct Fixed : velmora::platform::IProcessorId {
    std::string ProcessorId() override { return " bfeb-1 "; }
};
}  // namespace

TEST(UnitId, NeverFailsAndChangesNothing) {
    Throwing t;
    EXPECT_EQ(GetUnitId(t), "");
    Fixed f;
    EXPECT_EQ(GetUnitId(f), " bfeb-1 ");
}

#ifndef _WIN32
// The Linux backend's own formatting of CPUID (on Windows the service formats it).
TEST(UnitId, FormattedAsEdxThenEaxInUpperCaseHex) {
    using velmora::platform::posix::FormatProcessorId;
    EXPECT_EQ(FormatProcessorId(0xBFEBFBFF, 0x000906EA), "BFEBFBFF000906EA");
    EXPECT_EQ(FormatProcessorId(0, 0), "0000000000000000");
    EXPECT_EQ(FormatProcessorId(0x178BFBFF, 0x00A20F12), "178BFBFF00A20F12");
}
#endif

TEST(UnitId, CpuidGivesSixteenHexDigitsStableAcrossCalls) {
    velmora::native::ProcessorId cpu;
    std::string id = cpu.ProcessorId();
#if defined(__x86_64__) || defined(__i386__)
    ASSERT_EQ(id.size(), 16u);
    for (char c : id) EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << id;
    EXPECT_EQ(cpu.ProcessorId(), id);
#else
    EXPECT_EQ(id, "");
#endif
}

#include "app/core/DeferredApply.h"

#include <gtest/gtest.h>

namespace velmora::app {
namespace {

TEST(DeferredApplyTest, SettingsSavedDuringAJobApplyOnceAfterIt) {
    bool busy = false;
    int applied = 0;
    DeferredApply apply([&] { return busy; }, [&] { ++applied; });

    EXPECT_TRUE(apply.Request());  // idle: at once
    EXPECT_EQ(applied, 1);

    busy = true;  // a send or an in-place run is on the stack
    EXPECT_FALSE(apply.Request());
    EXPECT_FALSE(apply.Request());
    EXPECT_FALSE(apply.Poll());
    EXPECT_EQ(applied, 1);
    EXPECT_TRUE(apply.Pending());

    busy = false;
    EXPECT_TRUE(apply.Poll());
    EXPECT_EQ(applied, 2) << "two saves during the job come to one application";
    EXPECT_FALSE(apply.Poll());
    EXPECT_EQ(applied, 2);
}

}  // namespace
}  // namespace velmora::app

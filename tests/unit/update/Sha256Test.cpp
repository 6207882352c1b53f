#include <gtest/gtest.h>

#include "update/Sha256.h"

using namespace velmora::update;

TEST(Sha256, KnownDigestsAndHexParsing) {
    EXPECT_EQ(ToHex(Sha256("")),
              "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(ToHex(Sha256("abc")),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    auto upper = ParseSha256Hex("BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
    ASSERT_TRUE(upper);
    EXPECT_EQ(*upper, Sha256("abc"));
    EXPECT_FALSE(ParseSha256Hex(std::string(63, 'a')));
    EXPECT_FALSE(ParseSha256Hex(std::string(65, 'a')));
    EXPECT_FALSE(ParseSha256Hex(std::string(63, 'a') + "g"));
}

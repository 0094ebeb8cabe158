#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CaseName.h"
#include "Crc8.h"
#include "SelfTestState.h"

namespace {

struct CrcCase {
    std::string name;
    std::vector<std::uint8_t> data;
    std::uint8_t count;
    std::uint8_t crc;
};

void PrintTo(const CrcCase &param, std::ostream *out) { *out << param.name; }

class Crc8BitwiseTest : public ::testing::TestWithParam<CrcCase> {};

TEST_P(Crc8BitwiseTest, GivesTheCheckValue) {
    const CrcCase &param = GetParam();
    EXPECT_EQ(Crc8Bitwise(param.data.data(), param.count), param.crc);
}

std::vector<std::uint8_t> Text(const char *text) { return std::vector<std::uint8_t>(text, text + std::strlen(text)); }

INSTANTIATE_TEST_SUITE_P(Values, Crc8BitwiseTest,
                         ::testing::Values(CrcCase{"Digits", Text("123456789"), 9, 0xA1},
                                           CrcCase{"OnlyTheFirstCountBytes", Text("123456789XYZ"), 9, 0xA1},
                                           CrcCase{"ZeroState", {0, 0, 0, 0, 0, 0}, 6, 0x00},
                                           CrcCase{"Only5V", {0x40, 0, 0, 0, 0, 0}, 6, 0x75},
                                           CrcCase{"5VAndPin1", {0x40, 0x01, 0, 0, 0, 0}, 6, 0xB8},
                                           CrcCase{"OnlyPin1", {0x00, 0x01, 0, 0, 0, 0}, 6, 0xCD}),
                         CaseName());

// Tags without a switch of their own: the ground box, the fixed pins 20 and
// 40, the gap below the supply tags, and past the select-all boxes.
class UnknownTagTest : public ::testing::TestWithParam<int> {};

TEST_P(UnknownTagTest, ChangesNothing) {
    for (bool checked : {true, false}) {
        SelfTestBytes state{0x5A, 0xA5, 0x3C, 0xC3, 0x69, 0x96};
        const SelfTestBytes before = state;
        const FollowUp followUp = ApplySwitchChange(state, GetParam(), checked);
        EXPECT_EQ(state, before) << "checked " << checked;
        EXPECT_TRUE(followUp.tags.empty()) << "checked " << checked;
    }
}

INSTANTIATE_TEST_SUITE_P(Tags, UnknownTagTest, ::testing::Values(0, 20, 40, 41, 50, 62, -1));

}  // namespace

#include "SelfTestState.h"

#include <algorithm>
#include <initializer_list>

#include "Crc8.h"
#include "Vantu.h"

SelfTestBytes SelfTestState{};

namespace {

constexpr std::uint8_t kSelfTestCommand = 0x88;
constexpr std::int32_t kTransferArgument = 1000;
constexpr int kNoSwitch = 0;

// The firmware's wiring: the tag of the switch on each bit, bit 0 first, for
// state bytes 1 to 6. Crossed pins and the downward count on the right are
// the firmware's, not mistakes.
constexpr std::array<std::array<int, 8>, 6> kSwitchOfBit{{
    {kTagVpp14V, kTagVpp01, kTagVpp09, kTagVpp31, kTagGnd10, kTagGnd16, kTagSupply5V, kTagSupply3V},
    {1, 2, 4, 3, 5, 6, 8, 7},
    {9, 10, 11, 12, 13, 14, 15, 16},
    {17, 19, 18, kTagLamps, kNoSwitch, 39, 38, 37},
    {36, 35, 34, 33, 32, 31, 30, 29},
    {28, 27, 26, 25, 24, 23, 22, 21},
}};

constexpr std::array<int, 19> kLeftPinsInSetOrder{1, 2, 4, 3, 5, 6, 8, 7, 9, 10, 12, 11, 13, 14, 16, 15, 18, 17, 19};
constexpr std::array<int, 19> kRightPinsInSetOrder{39, 37, 38, 36, 35, 33, 34, 32, 31, 29,
                                                   30, 28, 27, 25, 26, 23, 24, 22, 21};
constexpr int kSharedPinsByte = 3;  // state byte 4: pins of both sides and the lamps
constexpr std::uint8_t kPins17And19 = 0x03;
constexpr std::uint8_t kPins37To39 = 0xE0;
constexpr int k5VBox[] = {kTagSupply5V};
constexpr int k3VBox[] = {kTagSupply3V};

struct StateBit {
    int byte = 0;
    std::uint8_t mask = 0;
};

StateBit BitOf(int tag) {
    if (tag == kNoSwitch) {
        return {};
    }
    for (int byte = 0; byte < int(kSwitchOfBit.size()); ++byte) {
        const auto &bits = kSwitchOfBit[std::size_t(byte)];
        const auto found = std::ranges::find(bits, tag);
        if (found != bits.end()) {
            return {byte, std::uint8_t(1u << (found - bits.begin()))};
        }
    }
    return {};
}

void SetBit(SelfTestBytes &state, StateBit bit, bool on) {
    std::uint8_t &byte = state[std::size_t(bit.byte)];
    byte = on ? std::uint8_t(byte | bit.mask) : std::uint8_t(byte & ~bit.mask);
}

// Fills or empties one side's pin bytes; the pins sharing state byte 4 get
// only their bits set or cleared.
void SetSide(SelfTestBytes &state, std::initializer_list<int> wholeBytes, std::uint8_t sharedBits, bool on) {
    for (int byte : wholeBytes) {
        state[std::size_t(byte)] = on ? 0xFF : 0x00;
    }
    SetBit(state, {kSharedPinsByte, sharedBits}, on);
}

}  // namespace

FollowUp ApplySwitchChange(SelfTestBytes &state, int tag, bool checked) {
    if (tag == kTagSelectAllLeft) {
        SetSide(state, {1, 2}, kPins17And19, checked);  // state bytes 2 and 3
        return {kLeftPinsInSetOrder, checked};
    }
    if (tag == kTagSelectAllRight) {
        SetSide(state, {4, 5}, kPins37To39, checked);  // state bytes 5 and 6
        return {kRightPinsInSetOrder, checked};
    }
    SetBit(state, BitOf(tag), checked);
    // Exactly one supply: the other one takes the opposite state.
    if (tag == kTagSupply5V) {
        SetBit(state, BitOf(kTagSupply3V), !checked);
        return {k3VBox, !checked};
    }
    if (tag == kTagSupply3V) {
        SetBit(state, BitOf(kTagSupply5V), !checked);
        return {k5VBox, !checked};
    }
    return {};
}

SelfTestFrame MakeSelfTestFrame(const SelfTestBytes &state) {
    SelfTestFrame frame{};
    frame[0] = kSelfTestCommand;
    std::ranges::copy(state, frame.begin() + 1);
    frame[7] = Crc8Bitwise(frame.data() + 1, std::uint8_t(state.size()));
    return frame;
}

void SendSelfTestFrame(SelfTestFrame frame) {
    std::uint32_t transferred = 0;
    if (Vantu_DeviceWrite(frame.data(), frame.size(), &transferred, kTransferArgument) != 0) {
        Vantu_DeviceRead(frame.data(), frame.size(), &transferred, kTransferArgument);
    }
}

// The wanted state of every switch of the programmer's 40-pin socket, kept as
// the six bytes the programmer takes, and the frame that carries it. No
// widgets here: the panel (Un_ZIFA.h) maps its check boxes onto these calls.
#pragma once

#include <array>
#include <cstdint>
#include <span>

using SelfTestBytes = std::array<std::uint8_t, 6>;
using SelfTestFrame = std::array<std::uint8_t, 8>;

// Outlives the panel; the panel zeroes it each time it is shown.
extern SelfTestBytes SelfTestState;

// Tags of the switches that are not pins (a pin's tag is its number).
enum SwitchTag : int {
    kTagSupply5V = 51,
    kTagSupply3V = 52,
    kTagVpp01 = 53,
    kTagVpp09 = 54,
    kTagVpp31 = 55,
    kTagGnd10 = 56,
    kTagGnd16 = 57,
    kTagLamps = 58,
    kTagVpp14V = 59,
    kTagSelectAllLeft = 60,
    kTagSelectAllRight = 61,
};

// Switches that a change forces into one state, in the order to set them.
struct FollowUp {
    std::span<const int> tags;
    bool checked = false;
};

// Updates state for the switch with this tag having just become checked or
// unchecked, and says which other switches must follow. Unknown tags change
// nothing.
FollowUp ApplySwitchChange(SelfTestBytes &state, int tag, bool checked);

SelfTestFrame MakeSelfTestFrame(const SelfTestBytes &state);

// Writes the frame to the open programmer and, when that went through, reads
// the reply into it, only to empty the read pipe. Failures are not reported.
void SendSelfTestFrame(SelfTestFrame frame);

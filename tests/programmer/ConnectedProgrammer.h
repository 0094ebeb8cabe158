// A simulated programmer holding a blank MX25L12845, found and opened
// through the shipped library, recording every message it is sent.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "Simulator.h"
#include "Vantu.h"

class ConnectedProgrammer : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(simulator_.Start(&error)) << error;
        simulator_.firmware().SetRecording(true);
        ASSERT_EQ(Vantu_OpenDevice(0), VANTU_OK);
    }

    sim::Simulator simulator_{*sim::FindChipModel("MX25L12845")};
};

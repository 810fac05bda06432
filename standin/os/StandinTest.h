// A GoogleTest fixture for tests that run modules against the stand-in OS: it resets the stand-in
// around each test, captures its trace and error output, and turns a call of a slot that the test
// did not expect into a test failure.
#pragma once

#include <gtest/gtest.h>

#include "standin/os/StandinOs.h"

namespace vantor::os {

class StandinTest : public ::testing::Test {
protected:
    void SetUp() override {
        Reset();
        CaptureOutput(true);
        SetUnexpectedCallHandler(
            [](const SlotCall& call) { ADD_FAILURE() << "unexpected call: " << Describe(call); });
    }
    void TearDown() override { Reset(); }
};

}  // namespace vantor::os

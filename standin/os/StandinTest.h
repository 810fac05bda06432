// A GoogleTest fixture for tests that run modules against the stand-in OS: it resets the stand-in
// around each test, captures its trace and error output, and turns a call of a slot that the test
// did not expect into a test failure.
#pragma once

#include <gtest/gtest.h>

#include "standin/os/StandinOs.h"

namespace vantor::os {

// A call of a system or UI library slot through the table the stand-in hands out, as a function of
// signature Sig.
template <typename Sig, typename... A>
auto Sys(uint16_t slot, A... args) {
    return reinterpret_cast<Sig*>(LibraryTable(Library::System)[slot])(args...);
}
template <typename Sig, typename... A>
auto Ui(uint16_t slot, A... args) {
    return reinterpret_cast<Sig*>(LibraryTable(Library::Ui)[slot])(args...);
}

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

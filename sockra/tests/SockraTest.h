// Fixture of the library's unit tests: the library's units run against the stand-in OS, whose
// system table they reach through the module glue, as the loaded module does.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "common/module/ModuleGlue.h"
#include "common/module/SystemSlots.h"
#include "standin/os/StandinTest.h"

namespace sockra::test {

class SockraTest : public vantor::os::StandinTest {
protected:
    void SetUp() override {
        StandinTest::SetUp();
        vantor::glue::SetSystemTable(vantor::os::SystemTable());
        SetEventAvail(false);
    }
    static bool Traced(const std::string& line) {
        for (const auto& t : vantor::os::TraceLines()) {
            if (t == line) return true;
        }
        return false;
    }
    static size_t Reports() { return vantor::os::ErrorReports().size(); }
    // What the OS's event queue answers to "is an event available".
    static void SetEventAvail(bool avail) {
        vantor::os::ScriptResult(vantor::os::Library::System, vantor::sysslot::EvtEventAvail, avail ? 1 : 0);
    }
};

}  // namespace sockra::test

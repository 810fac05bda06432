// A 68K application with the standard event loop (EvtGetEvent, SysHandleEvent, MenuHandleEvent,
// FrmDispatchEvent), packed into a resource database and launched through the module's entry
// point, runs until it is told to stop, without an unimplemented-trap alert.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "M68kTestKit.h"
#include "common/module/KezSlots.h"
#include "common/module/OsGlobals.h"
#include "common/module/SystemCalls.h"
#include "common/module/UiSlots.h"
#include "morvel/glue/MorvelCommon.h"
#include "morvel/launch/AppLaunch.h"
#include "common/ResourceDb.h"
#include "standin/os/DatabaseStore.h"

extern "C" uint32_t ModuleEntryPoint(uint16_t launchCode, void* param, uint16_t flags);

namespace morvel::test {
namespace {

using vantor::os::Library;
using vantor::os::SlotCall;
namespace sys = vantor::sys;
namespace slot = vantor::sysslot;

// Kez knows no memory areas here: every slot answers 0.
uint32_t KezZero() {
    return 0;
}
vantor::ModuleProc* KezTable() {
    static std::vector<vantor::ModuleProc> table(vantor::kKezSlots,
                                                 reinterpret_cast<vantor::ModuleProc>(&KezZero));
    return table.data();
}

uint32_t InstallDatabase(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    vantor::ResourceDb db;
    std::string error;
    EXPECT_TRUE(vantor::ResourceDbParse(bytes.data(), bytes.size(), &db, &error)) << error;
    const uint32_t dbID = vantor::os::AddDatabase(db.name.c_str(), db.type, db.creator, db.version);
    for (const auto& r : db.resources) AddResource(dbID, r.type, r.id, r.bytes);
    return dbID;
}

class EventLoopTest : public MorvelTest {
  protected:
    void SetUp() override {
        MorvelTest::SetUp();
        vantor::os::RegisterTable(vantor::kKezType, vantor::kKezCreator, KezTable(), vantor::kKezSlots);
        vantor::os::ScriptResult(Library::System, slot::SysIsEmulationAllowed, 0);
        ASSERT_EQ(EmulatorOpen(), 0);
    }
    void TearDown() override {
        EmulatorClose();
        vantor::os::UnregisterModule(vantor::kKezType, vantor::kKezCreator);
        MorvelTest::TearDown();
    }
};

void Post(uint16_t type, uint16_t chr, uint16_t modifiers = 0) {
    vantor::SysEventType e{};
    e.eType = type;
    std::memcpy(e.data, &chr, 2);
    std::memcpy(e.data + 4, &modifiers, 2);
    sys::EvtAddEventToQueue(&e);
}

TEST_F(EventLoopTest, TheApplicationRunsUntilItIsToldToStopWithoutAnAlert) {
    const uint32_t app = InstallDatabase(MORVEL_EVENTLOOP_APP);
    vantor::os::SetCurrentAppDatabase(app);
    uint32_t ref = sys::DmOpenDatabaseByID(app, 1);
    std::memcpy(static_cast<uint8_t*>(sys::SysGetTaskRecord()) + vantor::kTaskRecordAppDbRef, &ref, 4);

    int alerts = 0, system = 0, menu = 0, form = 0;
    auto character = [](uint32_t event) {
        uint16_t chr;
        std::memcpy(&chr, reinterpret_cast<const vantor::SysEventType*>(event)->data, 2);
        return chr;
    };
    vantor::os::OnCall(Library::System, slot::ErrAlertCustom, [&](const SlotCall&) { return ++alerts, 0u; });
    // The system takes the pen event, the menu bar the menu key, the form the key 'b'.
    vantor::os::OnCall(Library::System, slot::SysHandleEvent, [&](const SlotCall& c) {
        ++system;
        return reinterpret_cast<const vantor::SysEventType*>(c.args[0])->eType == 1 ? 1u : 0u;
    });
    vantor::os::OnCall(Library::Ui, vantor::uislot::UiEntry243, [&](const SlotCall& c) {
        ++menu;
        *reinterpret_cast<uint16_t*>(c.args[2]) = 0;
        return character(c.args[1]) == 0x0105 ? 1u : 0u;
    });
    vantor::os::OnCall(Library::Ui, vantor::uislot::UiEntry132, [&](const SlotCall& c) {
        ++form;
        return character(c.args[0]) == 'b' ? 1u : 0u;
    });

    Post(4, 'a');
    Post(1, 0);
    Post(4, 0x0105, 0x0008);
    Post(4, 'b');
    Post(22, 0);
    const uint32_t result = ModuleEntryPoint(0, nullptr, kLaunchNewGlobals | kLaunchUiApp);
    EXPECT_EQ(result, 3u * 1000u + 1u);  // three keys; only 'a' was taken by nobody
    EXPECT_EQ(alerts, 0);
    EXPECT_EQ(system, 4);
    EXPECT_EQ(menu, 3);
    EXPECT_EQ(form, 2);
    EXPECT_EQ(vantor::os::PendingEvents(), 0u);
    EXPECT_TRUE(Reports().empty());
}

// As morvel-run runs it: no events, the stand-in UI library's own answers. Two nil events go
// through the loop untaken; the third ends the application.
TEST_F(EventLoopTest, WithoutEventsTheApplicationEndsAfterThreeNilEvents) {
    const uint32_t app = InstallDatabase(MORVEL_EVENTLOOP_APP);
    vantor::os::SetCurrentAppDatabase(app);
    uint32_t ref = sys::DmOpenDatabaseByID(app, 1);
    std::memcpy(static_cast<uint8_t*>(sys::SysGetTaskRecord()) + vantor::kTaskRecordAppDbRef, &ref, 4);
    EXPECT_EQ(ModuleEntryPoint(0, nullptr, kLaunchNewGlobals), 2u);
    EXPECT_TRUE(Reports().empty());
}

}  // namespace
}  // namespace morvel::test

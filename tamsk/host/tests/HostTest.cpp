// Host services: the slot tables of threads, events and locks, the console, automatic saves.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tamsk/board/Memory.h"
#include "tamsk/board/Options.h"
#include "tamsk/board/RunLoop.h"
#include "tamsk/board/Session.h"
#include "tamsk/board/Timing.h"
#include "tamsk/board/tests/TestFiles.h"
#include "tamsk/board/Autosave.h"
#include "tamsk/board/Console.h"
#include "tamsk/board/HostThreads.h"

namespace tamsk {
namespace {

using test::TempDir;
using test::WriteFile;

// Waits for the event, then passes it on to the next waiting thread.
win32::DWORD WaitOnEvent(void* event) {
    win32::WaitForSingleObject(static_cast<win32::HANDLE>(event), win32::INFINITE);
    win32::SetEvent(static_cast<win32::HANDLE>(event));
    return 0;
}

TEST(HostTables, SlotsAreReusedAndAFullTableIsFatal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto fatal = ::testing::ExitedWithCode(kFatalExitCode & 0xFF);
    const unsigned release = HostCreateEvent();
    unsigned threads[kThreadSlots];
    for (unsigned& slot : threads) slot = HostCreateThread(WaitOnEvent, HostEvent(release));
    EXPECT_EQ(HostThreadsInUse(), kThreadSlots);
    EXPECT_EXIT(HostCreateThread(WaitOnEvent, HostEvent(release)), fatal, "No slot left in thread table");
    // Each thread ends once the event lets it through; its slot can be taken again.
    win32::SetEvent(HostEvent(release));
    for (unsigned slot : threads)
        EXPECT_EQ(win32::WaitForSingleObject(HostThread(slot), 5000), win32::WAIT_OBJECT_0);
    for (unsigned slot : threads) HostFreeThread(slot);
    EXPECT_EQ(HostThreadsInUse(), 0u);
    EXPECT_EQ(HostCreateThread(WaitOnEvent, HostEvent(release)), threads[0]);
    EXPECT_EQ(win32::WaitForSingleObject(HostThread(threads[0]), 5000), win32::WAIT_OBJECT_0);
    HostFreeThread(threads[0]);

    EXPECT_EXIT(
        {
            for (unsigned i = 0; i <= kEventSlots; ++i) HostCreateEvent();
        },
        fatal, "No slot left in event table");
    EXPECT_EXIT(
        {
            for (unsigned i = 0; i <= kLockSlots; ++i) HostCreateLock();
        },
        fatal, "No slot left in data lock table");
    const unsigned lock = HostCreateLock();
    win32::EnterCriticalSection(HostLock(lock));
    win32::LeaveCriticalSection(HostLock(lock));
    HostFreeLock(lock);
    HostFreeEvent(release);
    EXPECT_EQ(HostEventsInUse(), 0u);
    EXPECT_EQ(HostLocksInUse(), 0u);
}

TEST(Console, SemihostingPrintsGuestTextAndReadsCharacters) {
    OptLoadDefaults();
    MemAllocateAreas();
    std::strcpy(reinterpret_cast<char*>(MemDram) + 0x100, "Hello from the board\n");
    // Off: every request comes back unchanged and nothing is printed.
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(ConsoleService(4, 0x80000100), 4u);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");

    Opt.EnableConsole = 1;
    ConsoleSetup(kRunSoftReset);  // only a power-on opens it
    EXPECT_FALSE(ConsoleEnabled());
    ConsoleSetup(kRunPowerOn);
    ASSERT_TRUE(ConsoleEnabled());
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(ConsoleService(4, 0x80000100), 4u);
    // Text running into the end of SRAM stops where the memory does.
    std::memset(MemSram + kSramSize - 3, 'z', 3);
    ConsoleService(4, kSramBase + kSramSize - 3);
    ConsoleService(4, 0x40000000);  // no memory there: nothing
    EXPECT_EQ(ConsoleService(9, 1), 9u);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Hello from the board\nzzz");

    TempDir dir;
    WriteFile(dir / "in", "k");
    ASSERT_NE(std::freopen((dir / "in").c_str(), "rb", stdin), nullptr);
    EXPECT_EQ(ConsoleService(7, 0), uint32_t('k'));
    EXPECT_EQ(ConsoleService(7, 0), 0xFFFFFFFFu);  // end of input
}

TEST(Autosave, NumberedFilesInTheFolderAndTheSaveRequest) {
    OptLoadDefaults();
    TempDir dir;
    OptSetText(Opt.AutoSavePath, dir.path().c_str());
    RunCode = kRunPowerOn;
    PendingEventWord = 0;
    HostAutoSave();
    EXPECT_EQ(std::string(SessPath), dir / "autosave_000.aes");
    EXPECT_EQ(RunCode.load(), kRunSave);
    EXPECT_TRUE(CpuServicePending());
    OptSetText(Opt.AutoSavePath, (dir.path() + "/").c_str());
    HostAutoSave();
    EXPECT_EQ(std::string(SessPath), dir / "autosave_001.aes");
    // A path longer than 259 characters saves nothing.
    OptSetText(Opt.AutoSavePath, std::string(250, 'd').c_str());
    RunCode = kRunPowerOn;
    HostAutoSave();
    EXPECT_EQ(std::string(SessPath), dir / "autosave_001.aes");
    EXPECT_EQ(RunCode.load(), kRunPowerOn);
}

}  // namespace
}  // namespace tamsk

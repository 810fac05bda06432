#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "standin/win32/KernelObjects.h"
#include "standin/win32/MessageBox.h"

namespace win32 {
namespace {

using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point since) {
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

TEST(KernelObjects, AutoResetEventLetsOneWaitThroughPerSet) {
    HANDLE event = CreateEvent(FALSE, FALSE);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    SetEvent(event);
    SetEvent(event);  // setting a set event does not count twice
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);

    HANDLE manual = CreateEvent(TRUE, TRUE);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    ResetEvent(manual);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
    CloseHandle(event);
    CloseHandle(manual);
}

TEST(KernelObjects, WaitsTimeOutOrWakeOnTheFirstSignal) {
    HANDLE a = CreateEvent(FALSE, FALSE), b = CreateEvent(FALSE, FALSE);
    const HANDLE both[2] = {a, b};
    auto start = Clock::now();
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 30), WAIT_TIMEOUT);
    EXPECT_GE(ElapsedMs(start), 29);

    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        SetEvent(b);
    });
    start = Clock::now();
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
    EXPECT_GE(ElapsedMs(start), 15);
    setter.join();
    SetEvent(a);
    SetEvent(b);
    EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 0), WAIT_OBJECT_0);  // both taken at once
    EXPECT_EQ(WaitForSingleObject(a, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    CloseHandle(a);
    CloseHandle(b);
}

std::atomic<int> g_runs;
DWORD CountRun(void* event) {
    ++g_runs;
    WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    return 0;
}
// Counts only once its wait is over, so that the event may be closed as soon as the count shows.
DWORD CountAfterWait(void* event) {
    WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    ++g_runs;
    return 0;
}

TEST(KernelObjects, SuspendedThreadRunsWhenResumedAndCanBeAwaited) {
    g_runs = 0;
    HANDLE release = CreateEvent(FALSE, FALSE);
    HANDLE thread = CreateThread(CountRun, release, CREATE_SUSPENDED, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_TRUE(SetThreadPriority(thread, THREAD_PRIORITY_ABOVE_NORMAL));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(g_runs.load(), 0);
    EXPECT_EQ(ResumeThread(thread), 1u);
    EXPECT_EQ(WaitForSingleObject(thread, 20), WAIT_TIMEOUT);  // still waiting for its event
    EXPECT_EQ(g_runs.load(), 1);
    SetEvent(release);
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);  // an ended thread stays signalled
    CloseHandle(thread);

    // A handle closed while its thread still runs does not cut the thread short.
    thread = CreateThread(CountAfterWait, release, 0, nullptr);
    CloseHandle(thread);
    SetEvent(release);
    for (int i = 0; i < 500 && g_runs.load() < 2; ++i) Sleep(1);
    EXPECT_EQ(g_runs.load(), 2);
    CloseHandle(release);
}

TEST(KernelObjects, CriticalSectionsNestAndClockRuns) {
    CRITICAL_SECTION section;
    InitializeCriticalSection(&section);
    EnterCriticalSection(&section);
    EnterCriticalSection(&section);
    LeaveCriticalSection(&section);
    LeaveCriticalSection(&section);
    DeleteCriticalSection(&section);

    const DWORD t0 = timeGetTime();
    EXPECT_EQ(timeBeginPeriod(1), 0u);
    Sleep(15);
    EXPECT_EQ(timeEndPeriod(1), 0u);
    EXPECT_GE(timeGetTime() - t0, 14u);

    char path[4096];
    ASSERT_GT(GetModuleFileName(nullptr, path, sizeof path), 0u);
    EXPECT_NE(std::string(path).find("win32_tests"), std::string::npos);
    char tiny[4];
    EXPECT_EQ(GetModuleFileName(nullptr, tiny, sizeof tiny), 3u);  // cut, still terminated
    EXPECT_EQ(tiny[3], '\0');
}

TEST(MessageBoxHeadless, WritesCaptionAndText) {
    MessageBoxSetGraphical(false);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBox(nullptr, "Something went wrong", "Unexpected condition", MB_OK | MB_ICONERROR),
              IDOK);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Unexpected condition: Something went wrong\n");
}

}  // namespace
}  // namespace win32

// Handing back a new thread's unused stack: the pages leave the working set, the
// caller's own frames keep what they hold, and the stack stays usable to its depth.
#include <gtest/gtest.h>
#include <windows.h>
#include <process.h>
#include <psapi.h>

#include <cstdint>
#include <cstring>

#include "engine/thread_stack.h"

using namespace lurmo;

namespace {

constexpr uintptr_t kPage = 4096;

// How many of the pages of [low, high) are in the process's working set.
size_t ResidentPages(uintptr_t low, uintptr_t high) {
    const size_t count = (high - low) / kPage;
    auto* pages = new PSAPI_WORKING_SET_EX_INFORMATION[count];
    for (size_t i = 0; i < count; ++i) pages[i].VirtualAddress = reinterpret_cast<void*>(low + i * kPage);
    size_t resident = 0;
    if (QueryWorkingSetEx(GetCurrentProcess(), pages, static_cast<DWORD>(count * sizeof *pages))) {
        for (size_t i = 0; i < count; ++i) resident += pages[i].VirtualAttributes.Valid;
    } else {
        resident = SIZE_MAX;
    }
    delete[] pages;
    return resident;
}

void RunThread(unsigned(__stdcall* procedure)(void*), void* argument) {
    const uintptr_t thread = _beginthreadex(nullptr, 0, procedure, argument, 0, nullptr);
    ASSERT_NE(thread, 0u);
    WaitForSingleObject(reinterpret_cast<HANDLE>(thread), INFINITE);
    CloseHandle(reinterpret_cast<HANDLE>(thread));
}

struct Residence {
    size_t released = 0;
    size_t before = 0;
    size_t after = 0;
    size_t pages = 0;
};

// 512 KiB well below the thread's first frame: what a fresh thread under Wine has in its
// working set without ever having used it.
unsigned __stdcall ReleaseAndLook(void* argument) {
    auto& residence = *static_cast<Residence*>(argument);
    volatile char here = 0;
    const uintptr_t top = (reinterpret_cast<uintptr_t>(&here) - 128 * 1024) & ~(kPage - 1);
    const uintptr_t bottom = top - 512 * 1024;
    residence.pages = (top - bottom) / kPage;
    residence.before = ResidentPages(bottom, top);
    residence.released = ReleaseUnusedStack();
    residence.after = ResidentPages(bottom, top);
    return here;
}

TEST(ThreadStack, PagesBelowTheFrameLeaveTheWorkingSet) {
    Residence residence;
    RunThread(ReleaseAndLook, &residence);
    ASSERT_NE(residence.before, SIZE_MAX) << "QueryWorkingSetEx failed";
    if (residence.before == 0) GTEST_SKIP() << "this system leaves a new thread's stack alone";
    EXPECT_EQ(residence.after, 0u) << "of " << residence.pages << " pages, " << residence.before << " before";
    EXPECT_GE(residence.released, residence.pages * kPage);
}

struct Pattern {
    bool intact = false;
    size_t released = 0;
};

// The caller's frame holds 16 KiB of data across the call.
unsigned __stdcall ReleaseUnderData(void* argument) {
    auto& pattern = *static_cast<Pattern*>(argument);
    volatile unsigned char data[16 * 1024];
    for (size_t i = 0; i < sizeof data; ++i) data[i] = static_cast<unsigned char>(i * 7 + 1);
    pattern.released = ReleaseUnusedStack();
    bool intact = true;
    for (size_t i = 0; i < sizeof data; ++i) intact = intact && data[i] == static_cast<unsigned char>(i * 7 + 1);
    pattern.intact = intact;
    return 0;
}

TEST(ThreadStack, CallersFramesKeepTheirData) {
    Pattern pattern;
    RunThread(ReleaseUnderData, &pattern);
    EXPECT_TRUE(pattern.intact);
}

// Uses about `depth` frames of 4 KiB each, writing into every one on the way down and
// reading it back on the way up.
__attribute__((noinline)) bool Descend(unsigned depth) {
    volatile unsigned char frame[4000];
    for (size_t i = 0; i < sizeof frame; i += 64) frame[i] = static_cast<unsigned char>(depth + i);
    const bool below = depth == 0 || Descend(depth - 1);
    bool intact = below;
    for (size_t i = 0; i < sizeof frame; i += 64) intact = intact && frame[i] == static_cast<unsigned char>(depth + i);
    return intact;
}

unsigned __stdcall ReleaseThenDescend(void* argument) {
    auto& pattern = *static_cast<Pattern*>(argument);
    pattern.released = ReleaseUnusedStack();
    // 800 KiB: deeper than the part kept below the frame, into what was handed back.
    pattern.intact = Descend(200);
    return 0;
}

TEST(ThreadStack, StackStaysUsableBelowWhatWasHandedBack) {
    Pattern pattern;
    RunThread(ReleaseThenDescend, &pattern);
    if (pattern.released == 0) GTEST_SKIP() << "nothing was handed back on this system";
    EXPECT_TRUE(pattern.intact);
}

}  // namespace

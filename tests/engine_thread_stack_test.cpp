// Handing back a new thread's unused stack: the pages leave the working set, and the
// stack stays usable down to its depth, with its frames keeping what they hold.
#include <gtest/gtest.h>
#include <windows.h>
#include <process.h>
#include <psapi.h>

#include <cstdint>
#include <vector>

#include "engine/thread_stack.h"

using namespace lurmo;

namespace {

constexpr uintptr_t kPage = 4096;

// How many of the pages of [low, high) are in the working set; SIZE_MAX if unknown.
size_t ResidentPages(uintptr_t low, uintptr_t high) {
    std::vector<PSAPI_WORKING_SET_EX_INFORMATION> pages((high - low) / kPage);
    for (size_t i = 0; i < pages.size(); ++i) pages[i].VirtualAddress = reinterpret_cast<void*>(low + i * kPage);
    if (!QueryWorkingSetEx(GetCurrentProcess(), pages.data(), static_cast<DWORD>(pages.size() * sizeof pages[0]))) {
        return SIZE_MAX;
    }
    size_t resident = 0;
    for (const auto& page : pages) resident += page.VirtualAttributes.Valid;
    return resident;
}

void RunThread(unsigned(__stdcall* procedure)(void*), void* argument) {
    const uintptr_t thread = _beginthreadex(nullptr, 0, procedure, argument, 0, nullptr);
    ASSERT_NE(thread, 0u);
    WaitForSingleObject(reinterpret_cast<HANDLE>(thread), INFINITE);
    CloseHandle(reinterpret_cast<HANDLE>(thread));
}

struct Outcome {
    size_t kept = kStackKeptForCalls;   // what the call is asked to keep below the frame
    uintptr_t below = 0;         // where the pages looked at start, below the frame
    size_t pages = 0;
    size_t released = 0, before = 0, after = 0;
    bool intact = false;
};

// Pages well below the thread's first frame: what a fresh thread under Wine has in its
// working set without ever having used it.
unsigned __stdcall ReleaseAndLook(void* argument) {
    auto& outcome = *static_cast<Outcome*>(argument);
    volatile char here = 0;
    const uintptr_t top = (reinterpret_cast<uintptr_t>(&here) - outcome.below) & ~(kPage - 1);
    outcome.before = ResidentPages(top - outcome.pages * kPage, top);
    outcome.released = ReleaseUnusedStack(outcome.kept);
    outcome.after = ResidentPages(top - outcome.pages * kPage, top);
    return here;
}

// 512 KiB well below the frame go with the usual part kept for calls; a thread that only
// waits keeps the least, so the pages from 24 KiB to 64 KiB below its frame go too.
TEST(ThreadStack, PagesBelowWhatIsKeptLeaveTheWorkingSet) {
    const Outcome cases[] = {{kStackKeptForCalls, 128 * 1024, 128}, {0, 24 * 1024, 10}};
    for (Outcome outcome : cases) {
        RunThread(ReleaseAndLook, &outcome);
        ASSERT_NE(outcome.before, SIZE_MAX) << "QueryWorkingSetEx failed";
        if (outcome.before == 0) GTEST_SKIP() << "this system leaves a new thread's stack alone";
        EXPECT_EQ(outcome.after, 0u) << "kept " << outcome.kept << ": of " << outcome.pages << " pages, "
                                     << outcome.before << " before";
        EXPECT_GE(outcome.released, outcome.pages * kPage);
    }
}

// About `depth` frames of 4 KiB, each written on the way down and read on the way up.
__attribute__((noinline)) bool Descend(unsigned depth) {
    volatile unsigned char frame[4000];
    for (size_t i = 0; i < sizeof frame; i += 64) frame[i] = static_cast<unsigned char>(depth + i);
    bool intact = depth == 0 || Descend(depth - 1);
    for (size_t i = 0; i < sizeof frame; i += 64) intact = intact && frame[i] == static_cast<unsigned char>(depth + i);
    return intact;
}

unsigned __stdcall ReleaseThenDescend(void* argument) {
    auto& outcome = *static_cast<Outcome*>(argument);
    outcome.released = ReleaseUnusedStack();
    // 800 KiB: deeper than the part kept below the frame, into what was handed back.
    outcome.intact = Descend(200);
    return 0;
}

TEST(ThreadStack, StackStaysUsableBelowWhatWasHandedBack) {
    Outcome outcome;
    RunThread(ReleaseThenDescend, &outcome);
    if (outcome.released == 0) GTEST_SKIP() << "nothing was handed back on this system";
    EXPECT_TRUE(outcome.intact);
}

}  // namespace

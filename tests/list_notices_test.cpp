// The change notices as the watcher hands them over: records the system should never
// send are reported to the debugger and go no further.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/handles.h"
#include "list/notices.h"
#include "tests/ui_support.h"

using namespace lurmo;
using namespace lurmo::test;

namespace {

// Listens to the debugger output of this process the way a debug monitor does: a shared
// buffer and two events by their well-known names.
class DebugOutputMonitor {
public:
    DebugOutputMonitor()
        : bufferReady_(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY")),
          dataReady_(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY")),
          mapping_(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, L"DBWIN_BUFFER")) {
        view_ = mapping_ ? static_cast<const char*>(MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, 4096)) : nullptr;
        SetEvent(bufferReady_.get());
    }
    ~DebugOutputMonitor() {
        if (view_) UnmapViewOfFile(view_);
    }
    DebugOutputMonitor(const DebugOutputMonitor&) = delete;
    DebugOutputMonitor& operator=(const DebugOutputMonitor&) = delete;

    // The next text written, or "<none>" when nothing came.
    std::string Next() {
        if (!view_ || WaitForSingleObject(dataReady_.get(), 2000) != WAIT_OBJECT_0) return "<none>";
        std::string text(view_ + sizeof(DWORD));
        SetEvent(bufferReady_.get());
        return text;
    }

private:
    unique_handle bufferReady_, dataReady_, mapping_;
    const char* view_ = nullptr;
};

// A record naming a.txt, with its name length as given.
std::vector<BYTE> Record(DWORD nameLength, DWORD nextOffset = 0) {
    std::vector<BYTE> buffer(offsetof(FILE_NOTIFY_INFORMATION, FileName) + 5 * sizeof(wchar_t));
    auto* record = reinterpret_cast<FILE_NOTIFY_INFORMATION*>(buffer.data());
    record->NextEntryOffset = nextOffset;
    record->Action = FILE_ACTION_REMOVED;
    record->FileNameLength = nameLength;
    std::memcpy(record->FileName, L"a.txt", 5 * sizeof(wchar_t));
    return buffer;
}

}  // namespace

TEST(Notices, RecordsCutShortOrPointingOutsideTheBufferAreReported) {
    ListWindow window;
    DebugOutputMonitor monitor;
    std::vector<BYTE> longName = Record(400);
    DispatchNotices(longName.data(), static_cast<DWORD>(longName.size()));
    EXPECT_EQ(monitor.Next(), "UpdateList:Error");
    std::vector<BYTE> strayNext = Record(5 * sizeof(wchar_t), 4096);
    DispatchNotices(strayNext.data(), static_cast<DWORD>(strayNext.size()));
    EXPECT_EQ(monitor.Next(), "UpdateList:Error");
    // A sound record says nothing.
    std::vector<BYTE> sound = Record(5 * sizeof(wchar_t));
    DispatchNotices(sound.data(), static_cast<DWORD>(sound.size()));
    EXPECT_EQ(monitor.Next(), "<none>");
}

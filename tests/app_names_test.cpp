// Names the host gave a tree, in Japanese, accented Latin and beyond the Basic
// Multilingual Plane, as the real main window lists and measures them: they read right
// only when Wine decodes Linux file names by the locale's character set.
#include <windows.h>
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "state/app_state.h"
#include "app/target_boxes.h"
#include "list/result_rows.h"
#include "tests/test_support.h"
#include "tests/ui_support.h"

using namespace lurmo;
using namespace lurmo::test;

namespace {

bool RunEnded() { return g_app.worker && WaitForSingleObject(g_app.worker.get(), 0) == WAIT_OBJECT_0; }

// Types the target into the drive box, presses the accumulate button and waits for the
// run to end.
void Accumulate(const std::wstring& target) {
    SendMessageW(g_app.driveBox, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SetBoxEditText(g_app.driveBox, target);
    SendMessageW(g_app.main, WM_COMMAND, IDC_ACCUMULATE_BUTTON, 0);
    ASSERT_TRUE(PumpUntil(RunEnded)) << "the run did not end";
    PumpMessages();
}

}  // namespace

TEST(Names, TheWindowListsTheNamesTheHostGaveWithTheirSizes) {
    const std::wstring tree = HostNamedTree();
    if (tree.empty()) GTEST_SKIP() << "LURMO_NAME_TREE is not set";
    MainWindow window;
    for (bool snapshot : {false, true}) {
        g_app.settings.snapShot = snapshot;
        g_app.settings.usedSize = false;
        Accumulate(tree);
        std::map<std::wstring, uint64_t> listed;
        for (int row = 0; row < g_app.rowCount; ++row) listed[CellText(row, 0)] = RowEntryAt(row)->size;
        EXPECT_EQ(listed, HostNamedSizes()) << (snapshot ? "snapshot mode" : "file-operation mode");
    }
}

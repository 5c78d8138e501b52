// The options sheet driven as a user drives it, from a second thread while the sheet
// runs modally on the window's thread, and the main window's colours and bars.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <functional>
#include <string>
#include <thread>

#include "app/app_state.h"
#include "app/target_boxes.h"
#include "engine/file_system.h"
#include "list/custom_draw.h"
#include "list/result_rows.h"
#include "tests/test_support.h"
#include "tests/ui_support.h"

using namespace lurmo;
using namespace lurmo::test;

namespace {

constexpr int kFaceBox = 1136, kSizeBox = 1138, kRedEdit = 706;

std::wstring TextOf(HWND window) {
    wchar_t text[512]{};
    GetWindowTextW(window, text, 512);
    return text;
}

// A visible top-level window of the thread that passes the test; null after a minute.
HWND WaitForWindow(DWORD thread, const std::function<bool(HWND)>& wanted) {
    struct Search {
        const std::function<bool(HWND)>* wanted;
        HWND found;
    };
    for (int i = 0; i < 1200; ++i) {
        Search search{&wanted, nullptr};
        EnumThreadWindows(thread, [](HWND window, LPARAM lParam) {
            auto* s = reinterpret_cast<Search*>(lParam);
            if (IsWindowVisible(window) && (*s->wanted)(window)) s->found = window;
            return s->found ? FALSE : TRUE;
        }, reinterpret_cast<LPARAM>(&search));
        if (search.found) return search.found;
        Sleep(50);
    }
    return nullptr;
}

// True when the window went by itself; otherwise it is cancelled until it goes, so a
// test whose steps went wrong fails instead of hanging.
bool WaitUntilGone(HWND window) {
    for (int i = 0; i < 600 && IsWindow(window); ++i) Sleep(50);
    const bool gone = !IsWindow(window);
    while (IsWindow(window)) {
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        Sleep(500);
    }
    return gone;
}

// Selects an item of a dialog's list box as a click on it does.
void Pick(HWND dialog, int id, int index) {
    HWND box = GetDlgItem(dialog, id);
    SendMessageW(box, CB_SETCURSEL, index, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(box));
}

// The user's part, played on another thread while the window's thread runs the sheet.
struct User {
    DWORD thread;
    HWND sheet;

    HWND Page() const { return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)); }
    void ShowPage(int index) const { SendMessageW(sheet, PSM_SETCURSEL, index, 0); }
    void Click(int id) const { SendMessageW(GetDlgItem(Page(), id), BM_CLICK, 0, 0); }
    void Press(int button) const { PostMessageW(sheet, PSM_PRESSBUTTON, button, 0); }
    std::wstring Text(int id) const { return TextOf(GetDlgItem(Page(), id)); }
    // A window owned by the sheet that passes the test, once it shows.
    HWND Owned(const std::function<bool(HWND)>& wanted) const {
        return WaitForWindow(thread, [&](HWND w) { return GetWindow(w, GW_OWNER) == sheet && wanted(w); });
    }
    // Clicks a button that opens a window of its own (posted: the click returns only
    // when that window closes), and returns that window.
    void PostClick(int id) const { PostMessageW(GetDlgItem(Page(), id), BM_CLICK, 0, 0); }
    HWND Open(int id, const std::function<bool(HWND)>& wanted) const {
        PostClick(id);
        return Owned(wanted);
    }
    // The text of the message box that shows next, answered with `answer`.
    std::wstring AnswerBox(int answer) const {
        HWND box = Owned([](HWND w) { return TextOf(w) == L"Lurmo"; });
        if (!box) return L"<no box>";
        const std::wstring text = TextOf(GetDlgItem(box, 0xFFFF)) + TextOf(GetDlgItem(box, 100));
        PostMessageW(box, WM_COMMAND, answer, 0);
        WaitUntilGone(box);
        return text;
    }
    // Picks IPA Gothic at a size in the font chooser; returns the face.
    std::wstring ChooseFont(int points) const {
        HWND chooser = Open(IDC_CHOOSE_FONT, [](HWND w) { return GetDlgItem(w, kFaceBox) != nullptr; });
        if (!chooser) return L"<no chooser>";
        HWND faces = GetDlgItem(chooser, kFaceBox);
        // Wine lists the face by its Japanese name under a Japanese locale.
        int index = -1;
        for (const wchar_t* name : {L"IPAGothic", L"IPAゴシック"}) {
            if (index < 0) index = static_cast<int>(SendMessageW(faces, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                                 reinterpret_cast<LPARAM>(name)));
        }
        wchar_t face[LF_FACESIZE]{};
        SendMessageW(faces, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(face));
        Pick(chooser, kFaceBox, index);
        HWND sizes = GetDlgItem(chooser, kSizeBox);
        Pick(chooser, kSizeBox, static_cast<int>(SendMessageW(sizes, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
            reinterpret_cast<LPARAM>(std::to_wstring(points).c_str()))));
        PostMessageW(chooser, WM_COMMAND, IDOK, 0);
        WaitUntilGone(chooser);
        return face;
    }
};

// Opens the options from the main window's menu and plays the user on another thread.
void WithOptions(const std::function<void(const User&)>& play) {
    const DWORD self = GetCurrentThreadId();
    bool closed = false;
    std::thread driver([&] {
        HWND sheet = WaitForWindow(self, [](HWND w) { return TextOf(w) == L"オプション"; });
        if (!sheet) return;
        play(User{self, sheet});
        closed = WaitUntilGone(sheet);
    });
    SendMessageW(g_app.main, WM_COMMAND, IDM_OPTIONS, 0);
    driver.join();
    EXPECT_TRUE(closed) << "the sheet stayed open";
}

HFONT ListFont() { return reinterpret_cast<HFONT>(SendMessageW(g_app.list, WM_GETFONT, 0, 0)); }

std::wstring FaceOf(HFONT font) {
    LOGFONTW info{};
    GetObjectW(font, sizeof(info), &info);
    return info.lfFaceName;
}

bool DeleteEnabled() {
    LVITEMW selected{};
    selected.state = selected.stateMask = LVIS_SELECTED;
    SendMessageW(g_app.list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&selected));
    SendMessageW(g_app.main, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(g_app.editMenu), 0);
    return !(GetMenuState(g_app.editMenu, IDM_DELETE, MF_BYCOMMAND) & MF_GRAYED);
}

int BarLength(int row, COLORREF color) {
    const RECT cell = CellRect(row, 0);
    const int middle = (cell.top + cell.bottom) / 2;
    RedrawWindow(g_app.list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
    return ListPixels().Count(RECT{0, middle, 10000, middle + 1}, color);
}

}  // namespace

TEST(Options, SnapshotModeWaitsForTheNextAccumulation) {
    TempFolder root;
    root.File(L"a.bin", 10);
    MainWindow window;
    ASSERT_TRUE(AccumulateAndWait(root.path()));
    WithOptions([](const User& user) {
        user.ShowPage(1);
        user.Click(IDC_MODE_SNAPSHOT);
        user.Press(PSBTN_OK);
    });
    EXPECT_EQ(g_app.settings.snapShot, 1u);
    EXPECT_EQ(g_app.effect.snapShot, 0u);
    EXPECT_TRUE(DeleteEnabled());
    ASSERT_TRUE(AccumulateAndWait(root.path()));
    EXPECT_EQ(g_app.effect.snapShot, 1u);
    EXPECT_FALSE(DeleteEnabled());
}

TEST(Options, AChosenFontIsTheListsAtOnceAndTheOldOneGoes) {
    MainWindow window;
    std::wstring face, description;
    WithOptions([&](const User& user) {
        user.Click(IDC_USER_FONT);
        face = user.ChooseFont(9);
        description = user.Text(IDC_FONT_DESCRIPTION);
        user.Press(PSBTN_OK);
    });
    EXPECT_EQ(description, face + L", 9pt");
    const HFONT first = ListFont();
    EXPECT_EQ(first, g_app.userFont.get());
    EXPECT_EQ(FaceOf(first), face);
    EXPECT_EQ(g_app.settings.useSystemFont, 0u);
    // The settings' chooser record points at the settings' own LOGFONTW, not the page's.
    EXPECT_EQ(g_app.settings.chooseFont.lpLogFont, &g_app.settings.logFont);

    // A font chosen and then cancelled changes nothing; one applied replaces the first,
    // which is deleted only once the list has let go of it.
    WithOptions([](const User& user) {
        user.ChooseFont(16);
        user.Press(PSBTN_CANCEL);
    });
    EXPECT_EQ(ListFont(), first);
    EXPECT_EQ(GetObjectType(first), static_cast<DWORD>(OBJ_FONT));
    WithOptions([](const User& user) {
        user.ChooseFont(12);
        user.Press(PSBTN_OK);
    });
    EXPECT_EQ(g_app.settings.chooseFont.iPointSize, 120);
    EXPECT_EQ(GetObjectType(ListFont()), static_cast<DWORD>(OBJ_FONT));
    EXPECT_EQ(GetObjectType(first), 0u);
}

TEST(Options, AskingForAUserFontWithoutOneKeepsThePage) {
    MainWindow window;
    std::wstring description, message;
    HWND pageBefore = nullptr, pageAfter = nullptr;
    WithOptions([&](const User& user) {
        description = user.Text(IDC_FONT_DESCRIPTION);
        user.Click(IDC_USER_FONT);
        pageBefore = user.Page();
        user.Press(PSBTN_OK);
        message = user.AnswerBox(IDOK);
        pageAfter = user.Page();
        user.Press(PSBTN_CANCEL);
    });
    EXPECT_EQ(description, L", 0pt");
    EXPECT_EQ(message, L"フォントが指定されていません.");
    EXPECT_EQ(pageAfter, pageBefore);
}

TEST(Options, ALowerHistoryLimitTrimsAtOnceAndClearingStaysCleared) {
    MainWindow window;
    for (int i = 1; i <= 8; ++i) AddToHistory(L"C:\\h" + std::to_wstring(i));
    WithOptions([](const User& user) {
        user.ShowPage(2);
        SetDlgItemTextW(user.Page(), IDC_MAX_HISTORY, L"5");
        user.Press(PSBTN_OK);
    });
    EXPECT_EQ(g_app.settings.maxHistory, 5u);
    ASSERT_EQ(BoxCount(g_app.historyBox), 5);
    EXPECT_EQ(BoxItemText(g_app.historyBox, 4), L"C:\\h4");

    std::wstring question;
    bool enabledAfter = true;
    int kept = 0;
    WithOptions([&](const User& user) {
        user.ShowPage(2);
        user.PostClick(IDC_CLEAR_HISTORY);
        user.AnswerBox(IDNO);
        kept = BoxCount(g_app.historyBox);
        user.PostClick(IDC_CLEAR_HISTORY);
        question = user.AnswerBox(IDYES);
        enabledAfter = IsWindowEnabled(GetDlgItem(user.Page(), IDC_CLEAR_HISTORY));
        user.Press(PSBTN_CANCEL);
    });
    EXPECT_EQ(question, L"履歴をクリアしてよろしいですか？");
    EXPECT_EQ(kept, 5);
    EXPECT_FALSE(enabledAfter);
    EXPECT_EQ(BoxCount(g_app.historyBox), 0);
}

TEST(Options, ABarColourIsUsedFromTheNextAccumulation) {
    TempFolder root;
    root.File(L"a.bin", 10);
    MainWindow window;
    const COLORREF red = RGB(255, 0, 0);
    bool colourButtonFollowsTheGraphBox = false;
    WithOptions([&](const User& user) {
        user.Click(IDC_DISPLAY_GRAPH);
        HWND button = GetDlgItem(user.Page(), IDC_CHOOSE_COLOR);
        colourButtonFollowsTheGraphBox = IsWindowEnabled(button);
        HWND chooser = user.Open(IDC_CHOOSE_COLOR, [](HWND w) { return GetDlgItem(w, kRedEdit) != nullptr; });
        SetDlgItemTextW(chooser, kRedEdit, L"255");
        PostMessageW(chooser, WM_COMMAND, IDOK, 0);
        WaitUntilGone(chooser);
        user.Press(PSBTN_OK);
    });
    EXPECT_TRUE(colourButtonFollowsTheGraphBox);
    EXPECT_EQ(g_app.settings.graphColor, red);
    ASSERT_TRUE(AccumulateAndWait(root.path()));
    EXPECT_EQ(BarLength(0, red), static_cast<int>(SendMessageW(g_app.list, LVM_GETCOLUMNWIDTH, 3, 0)));
}

TEST(Options, EverySettingSurvivesARestart) {
    std::wstring face;
    {
        MainWindow window;
        WithOptions([&](const User& user) {
            user.Click(IDC_USED_SIZE);
            user.Click(IDC_USER_FONT);
            face = user.ChooseFont(9);
            user.Click(IDC_DISPLAY_GRAPH);
            user.ShowPage(1);
            user.Click(IDC_MODE_SNAPSHOT);
            user.ShowPage(2);
            SetDlgItemTextW(user.Page(), IDC_MAX_HISTORY, L"7");
            user.Press(PSBTN_OK);
        });
    }
    MainWindow window(L"", true);
    const Settings& s = g_app.settings;
    EXPECT_EQ(s.usedSize, 0u);
    EXPECT_EQ(s.useSystemFont, 0u);
    EXPECT_EQ(std::wstring(s.logFont.lfFaceName), face);
    EXPECT_EQ(s.chooseFont.iPointSize, 90);
    EXPECT_EQ(s.displayGraph, 1u);
    EXPECT_EQ(s.snapShot, 1u);
    EXPECT_EQ(s.maxHistory, 7u);
    EXPECT_EQ(FaceOf(ListFont()), face);
}

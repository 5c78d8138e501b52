// The options sheet driven as a user drives it: a second thread clicks and answers while
// the sheet runs modally on the window's thread.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <thread>

#include "state/app_state.h"
#include "app/target_boxes.h"
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

// The dialog owned by the sheet that has the control, once it shows; null after a minute.
HWND Await(HWND sheet, int control) {
    for (int i = 0; i < 1200; ++i) {
        for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, L"#32770", nullptr));) {
            if (GetWindow(w, GW_OWNER) == sheet && IsWindowVisible(w) && GetDlgItem(w, control)) return w;
        }
        Sleep(50);
    }
    return nullptr;
}

// True when the window went by itself; otherwise it is cancelled until it goes, so that
// a test whose steps went wrong fails instead of hanging.
bool AwaitGone(HWND window) {
    for (int i = 0; i < 600 && IsWindow(window); ++i) Sleep(50);
    const bool gone = !IsWindow(window);
    while (IsWindow(window)) {
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        Sleep(500);
    }
    return gone;
}

HWND Page(HWND sheet) { return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)); }
void ShowPage(HWND sheet, int index) { SendMessageW(sheet, PSM_SETCURSEL, index, 0); }
void Click(HWND sheet, int id) { SendMessageW(GetDlgItem(Page(sheet), id), BM_CLICK, 0, 0); }
// For a click that opens a window: sent, it would return only when that window closed.
void PostClick(HWND sheet, int id) { PostMessageW(GetDlgItem(Page(sheet), id), BM_CLICK, 0, 0); }
void Press(HWND sheet, int button) { PostMessageW(sheet, PSM_PRESSBUTTON, button, 0); }

// The text of the message box that shows next, answered with one of its buttons.
std::wstring AnswerBox(HWND sheet, int answer) {
    HWND box = Await(sheet, answer);
    // Windows gives the text control the id 0xFFFF, Wine 100.
    const std::wstring text = TextOf(GetDlgItem(box, 0xFFFF)) + TextOf(GetDlgItem(box, 100));
    PostMessageW(box, WM_COMMAND, answer, 0);
    AwaitGone(box);
    return text;
}

void Pick(HWND dialog, int id, const std::wstring& item) {
    HWND box = GetDlgItem(dialog, id);
    const LRESULT index = SendMessageW(box, CB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>(item.c_str()));
    SendMessageW(box, CB_SETCURSEL, index, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(box));
}

// Picks IPA Gothic (by its Japanese name, as Wine lists it under this locale) at a size.
void ChooseFont(HWND sheet, int points) {
    PostClick(sheet, IDC_CHOOSE_FONT);
    HWND chooser = Await(sheet, kFaceBox);
    Pick(chooser, kFaceBox, L"IPAゴシック");
    Pick(chooser, kSizeBox, std::to_wstring(points));
    PostMessageW(chooser, WM_COMMAND, IDOK, 0);
    AwaitGone(chooser);
}

// Opens the options from the menu and plays the user on another thread.
void WithOptions(const std::function<void(HWND sheet)>& play) {
    bool closed = false;
    std::thread user([&] {
        HWND sheet = nullptr;
        for (int i = 0; i < 1200 && !(sheet = FindWindowW(L"#32770", L"オプション")); ++i) Sleep(50);
        if (!sheet) return;
        play(sheet);
        closed = AwaitGone(sheet);
    });
    SendMessageW(g_app.main, WM_COMMAND, IDM_OPTIONS, 0);
    user.join();
    EXPECT_TRUE(closed) << "the sheet stayed open";
}

HFONT ListFont() { return reinterpret_cast<HFONT>(SendMessageW(g_app.list, WM_GETFONT, 0, 0)); }

std::wstring FaceOf(HFONT font) {
    LOGFONTW info{};
    GetObjectW(font, sizeof(info), &info);
    return info.lfFaceName;
}

bool DeleteOffered() {
    LVITEMW selected{};
    selected.state = selected.stateMask = LVIS_SELECTED;
    SendMessageW(g_app.list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&selected));
    SendMessageW(g_app.main, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(g_app.editMenu), 0);
    return !(GetMenuState(g_app.editMenu, IDM_DELETE, MF_BYCOMMAND) & MF_GRAYED);
}

}  // namespace

// One visit that changes everything: the font and the history limit act at once, the
// mode, the size rule and the bar graph at the next accumulation, and all of it is
// there after a restart.
TEST(Options, EachChangeTakesEffectWhenItSaysAndSurvivesARestart) {
    TempFolder root;
    root.File(L"a.bin", 10);
    {
        MainWindow window;
        for (int i = 1; i <= 8; ++i) AddToHistory(L"C:\\h" + std::to_wstring(i));
        ASSERT_TRUE(AccumulateAndWait(root.path()));   // the ninth entry
        std::wstring description;
        bool colourButtonFollowsTheGraphBox = false;
        WithOptions([&](HWND sheet) {
            Click(sheet, IDC_USED_SIZE);
            Click(sheet, IDC_USER_FONT);
            ChooseFont(sheet, 9);
            description = TextOf(GetDlgItem(Page(sheet), IDC_FONT_DESCRIPTION));
            Click(sheet, IDC_DISPLAY_GRAPH);
            colourButtonFollowsTheGraphBox = IsWindowEnabled(GetDlgItem(Page(sheet), IDC_CHOOSE_COLOR));
            PostClick(sheet, IDC_CHOOSE_COLOR);
            HWND chooser = Await(sheet, kRedEdit);
            SetDlgItemTextW(chooser, kRedEdit, L"255");
            PostMessageW(chooser, WM_COMMAND, IDOK, 0);
            AwaitGone(chooser);
            ShowPage(sheet, 1);
            Click(sheet, IDC_MODE_SNAPSHOT);
            ShowPage(sheet, 2);
            SetDlgItemTextW(Page(sheet), IDC_MAX_HISTORY, L"5");
            Press(sheet, PSBTN_OK);
        });
        EXPECT_EQ(description, L"IPAゴシック, 9pt");
        EXPECT_EQ(FaceOf(ListFont()), L"IPAゴシック");
        EXPECT_TRUE(colourButtonFollowsTheGraphBox);
        ASSERT_EQ(BoxCount(g_app.historyBox), 5);
        EXPECT_EQ(BoxItemText(g_app.historyBox, 4), L"C:\\h5");
        // The listing and its menus stay as measured, in file-operation mode.
        EXPECT_EQ(g_app.dateColumn, 3);
        EXPECT_TRUE(DeleteOffered());
        ASSERT_TRUE(AccumulateAndWait(root.path()));
        EXPECT_FALSE(DeleteOffered());
        EXPECT_EQ(g_app.grandTotal, 10u);   // logical sizes
        const RECT row = CellRect(0, 0);
        const int middle = (row.top + row.bottom) / 2;
        EXPECT_EQ(ListPixels().Count(RECT{0, middle, 10000, middle + 1}, RGB(255, 0, 0)),
                  SendMessageW(g_app.list, LVM_GETCOLUMNWIDTH, 3, 0));
    }
    MainWindow window(L"", true);
    const Settings& s = g_app.settings;
    EXPECT_EQ(s.usedSize, 0u);
    EXPECT_EQ(s.chooseFont.iPointSize, 90);
    EXPECT_EQ(s.displayGraph, 1u);
    EXPECT_EQ(s.graphColor, RGB(255, 0, 0));
    EXPECT_EQ(s.snapShot, 1u);
    EXPECT_EQ(s.maxHistory, 5u);
    EXPECT_EQ(FaceOf(ListFont()), L"IPAゴシック");
}

// OK with the font untouched leaves the list's font as it was, the window's own or the
// user's; going back to the system font gives the window's own, never the list's
// built-in one (which has no Japanese glyphs).
TEST(Options, AnUntouchedFontStaysAsItWas) {
    MainWindow window;
    const HFONT own = ListFont();
    ASSERT_TRUE(own);
    auto pressOk = [](HWND sheet) { Press(sheet, PSBTN_OK); };
    WithOptions(pressOk);
    EXPECT_EQ(ListFont(), own);
    WithOptions([](HWND sheet) {
        Click(sheet, IDC_USER_FONT);
        ChooseFont(sheet, 9);
        Press(sheet, PSBTN_OK);
    });
    const HFONT user = ListFont();
    EXPECT_NE(user, own);
    WithOptions(pressOk);
    EXPECT_EQ(ListFont(), user);
    WithOptions([](HWND sheet) {
        Click(sheet, IDC_SYSTEM_FONT);
        Press(sheet, PSBTN_OK);
    });
    EXPECT_EQ(ListFont(), own);
}

// A stored limit the page cannot show whole (it takes two digits) is kept, with every
// entry, when the sheet is merely opened and closed.
TEST(Options, AHistoryLimitAboveTheArrowsRangeIsKeptUntouched) {
    MainWindow window;
    g_app.settings.maxHistory = 150;
    for (int i = 1; i <= 20; ++i) AddToHistory(L"C:\\h" + std::to_wstring(i));
    WithOptions([](HWND sheet) {
        ShowPage(sheet, 2);
        Press(sheet, PSBTN_OK);
    });
    EXPECT_EQ(g_app.settings.maxHistory, 150u);
    EXPECT_EQ(BoxCount(g_app.historyBox), 20);
}

TEST(Options, AReplacedFontIsDeletedOnceTheListHasLetGoOfIt) {
    MainWindow window;
    WithOptions([](HWND sheet) {
        Click(sheet, IDC_USER_FONT);
        ChooseFont(sheet, 9);
        Press(sheet, PSBTN_OK);
    });
    const HFONT first = ListFont();
    EXPECT_EQ(first, g_app.userFont.get());
    // The settings' chooser record points at their own LOGFONTW, not at the page's.
    EXPECT_EQ(g_app.settings.chooseFont.lpLogFont, &g_app.settings.logFont);
    // A font chosen and cancelled changes nothing; one applied replaces the first.
    for (int button : {PSBTN_CANCEL, PSBTN_OK}) {
        WithOptions([button](HWND sheet) {
            ChooseFont(sheet, 12);
            Press(sheet, button);
        });
        EXPECT_TRUE(button != PSBTN_CANCEL || ListFont() == first);
    }
    EXPECT_EQ(g_app.settings.chooseFont.iPointSize, 120);
    EXPECT_EQ(GetObjectType(ListFont()), static_cast<DWORD>(OBJ_FONT));
    EXPECT_EQ(GetObjectType(first), 0u);
}

TEST(Options, AskingForAUserFontWithoutOneKeepsThePage) {
    MainWindow window;
    std::wstring description, message;
    HWND before = nullptr, after = nullptr;
    WithOptions([&](HWND sheet) {
        description = TextOf(GetDlgItem(Page(sheet), IDC_FONT_DESCRIPTION));
        Click(sheet, IDC_USER_FONT);
        before = Page(sheet);
        Press(sheet, PSBTN_OK);
        message = AnswerBox(sheet, IDOK);
        after = Page(sheet);
        Press(sheet, PSBTN_CANCEL);
    });
    EXPECT_EQ(description, L", 0pt");
    EXPECT_EQ(message, L"フォントが指定されていません.");
    EXPECT_EQ(after, before);
}

TEST(Options, ClearingTheHistoryAsksAndStaysDoneWhenTheSheetIsCancelled) {
    MainWindow window;
    for (int i = 1; i <= 5; ++i) AddToHistory(L"C:\\h" + std::to_wstring(i));
    std::wstring question;
    int keptOnNo = 0;
    WithOptions([&](HWND sheet) {
        ShowPage(sheet, 2);
        PostClick(sheet, IDC_CLEAR_HISTORY);
        question = AnswerBox(sheet, IDNO);
        keptOnNo = BoxCount(g_app.historyBox);
        PostClick(sheet, IDC_CLEAR_HISTORY);
        AnswerBox(sheet, IDYES);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(Page(sheet), IDC_CLEAR_HISTORY)));
        Press(sheet, PSBTN_CANCEL);
    });
    EXPECT_EQ(question, L"履歴をクリアしてよろしいですか？");
    EXPECT_EQ(keptOnNo, 5);
    EXPECT_EQ(BoxCount(g_app.historyBox), 0);
}

// The link box on the first page: checked by default, and once cleared the next run
// enters no link, so every link row counts 0 (Wine lists a file link as a plain file).
TEST(Options, ClearingTheLinkBoxMakesTheNextRunCountEveryLinkAsNothing) {
    const char* tree = std::getenv("LURMO_LINK_RULES");
    ASSERT_NE(tree, nullptr) << "the link tree fixture did not run";
    std::wstring target(tree, tree + strlen(tree));
    for (wchar_t& c : target) if (c == L'/') c = L'\\';
    target += L"\\T";
    MainWindow window;
    bool checkedAtFirst = false;
    WithOptions([&](HWND sheet) {
        checkedAtFirst = IsDlgButtonChecked(Page(sheet), IDC_FOLLOW_LINKS) == BST_CHECKED;
        Click(sheet, IDC_FOLLOW_LINKS);
        Click(sheet, IDC_USED_SIZE);
        Press(sheet, PSBTN_OK);
    });
    EXPECT_TRUE(checkedAtFirst);
    EXPECT_EQ(g_app.settings.followLinks, 0u);
    EXPECT_EQ(g_app.effect.followLinks, 1u);   // until the next accumulation
    ASSERT_TRUE(AccumulateAndWait(target));
    std::map<std::wstring, uint64_t> sizes;
    for (int row = 0; row < g_app.rowCount; ++row) sizes[RowEntryAt(row)->name] = RowEntryAt(row)->size;
    EXPECT_EQ(sizes, (std::map<std::wstring, uint64_t>{{L"0_inner", 0}, {L"a_out", 0}, {L"file.bin", 4000},
                                                        {L"flink", 4000}, {L"link_in", 0}, {L"real", 8000},
                                                        {L"sub", 500}, {L"z_f", 500}}));
    EXPECT_EQ(g_app.grandTotal, 17000u);
}

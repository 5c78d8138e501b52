#include "map/treemap_pane.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <new>
#include <vector>

#include "engine/handles.h"
#include "list/number_format.h"
#include "list/result_rows.h"
#include "map/file_types_list.h"
#include "map/treemap.h"
#include "state/app_state.h"

namespace lurmo {

namespace {

constexpr UINT_PTR kTimerLook = 1;
constexpr UINT kLookInterval = 250;      // ms: at most four new drawings a second
constexpr UINT kMsgDrawSlice = WM_APP + 1;
constexpr DWORD kSliceMilliseconds = 30;  // the window answers between slices

// What a drawing was made from. Any change to the rows or their trees moves one of
// these, and a drawing begun before it is thrown away rather than finished: its records
// may be gone.
struct Look {
    unsigned runNumber = 0;
    unsigned changes = 0;
    int rows = 0;
    uint64_t total = 0;
    bool busy = false;
    bool snapshot = false;
    int width = 0, height = 0;
    unsigned highlight = 0;
    bool operator==(const Look&) const = default;
};

struct Bitmap {
    unique_hbitmap bitmap;
    uint32_t* pixels = nullptr;
    int width = 0, height = 0;
};

// The pane's state: the user-interface thread's alone.
struct PaneState {
    TreemapHost host;
    HWND window = nullptr, tooltip = nullptr, typesList = nullptr;
    // The file types selected in the types list, whose tiles are drawn lit.
    std::vector<std::wstring> highlight;
    unsigned highlightVersion = 0;
    // The rows and changes the types list was last filled from.
    Look filledLook;
    // One bitmap: the last finished drawing, or the drawing under way in its place. A
    // picture of an older look is never shown, so a second bitmap to keep it while the
    // next is drawn would only cost the size of the map again in memory.
    Bitmap shown;
    Look shownLook;    // what it was drawn from; shown only while it still matches
    bool shownValid = false;
    bool framesAsked = false;   // the selected rows' frames wait for the next paint
    Look drawingLook;
    MapSource source;
    ExtensionTable types;
    ExtensionCache typesByRow;
    MapDrawing work;
    bool drawingUnderWay = false;
    bool dragging = false;
    int dragOffset = 0;
    std::wstring tipText;
    std::wstring tipPath;
};

PaneState g_pane;

bool TypesVisible() { return g_app.settings.fileTypesShown && !g_app.effect.snapShot && g_pane.typesList; }

// The types list's width: a fixed share of the pane, enough for its five columns.
int TypesWidth(const RECT& client) {
    return TypesVisible() ? std::min<int>(client.right / 2, ScaleForDpi(g_pane.window, 320)) : 0;
}

// The map's rectangle inside the pane: below the splitter bar, left of the types list.
RECT MapArea() {
    RECT client{};
    GetClientRect(g_pane.window, &client);
    client.top = std::min<LONG>(client.bottom, TreemapSplitterHeight(g_pane.window));
    client.right -= TypesWidth(client);
    return client;
}

void PlaceTypesList() {
    if (!g_pane.typesList) return;
    RECT client{};
    GetClientRect(g_pane.window, &client);
    const RECT area = MapArea();
    SetWindowPos(g_pane.typesList, nullptr, area.right, area.top, client.right - area.right, area.bottom - area.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(g_pane.typesList, TypesVisible() ? SW_SHOWNA : SW_HIDE);
}

bool SameRows(const Look& a, const Look& b) {
    return a.busy == b.busy && a.runNumber == b.runNumber && a.changes == b.changes && a.rows == b.rows && a.total == b.total &&
           a.snapshot == b.snapshot;
}

Look CurrentLook() {
    const RECT area = MapArea();
    Look look;
    look.runNumber = g_app.runNumber;
    look.changes = g_app.mapChanges;
    look.rows = g_app.rowCount.load();
    look.total = g_app.grandTotal.load();
    look.busy = g_app.busy.load() != 0;
    look.snapshot = g_app.effect.snapShot != 0;
    look.width = area.right - area.left;
    look.height = area.bottom - area.top;
    look.highlight = g_pane.highlightVersion;
    return look;
}

MapSource CurrentSource() {
    MapSource source;
    source.snapshot = g_app.effect.snapShot != 0;
    const int rows = static_cast<int>(SendMessageW(g_app.list, LVM_GETITEMCOUNT, 0, 0));
    source.rows.reserve(rows);
    for (int row = 0; row < rows; ++row) source.rows.push_back(RowEntryAt(row));
    return source;
}

bool MakeBitmap(Bitmap& target, int width, int height) {
    if (target.bitmap && target.width == width && target.height == height) return true;
    target = Bitmap{};
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;   // top-down, as the drawing fills it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    target.bitmap.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!target.bitmap) return false;
    target.pixels = static_cast<uint32_t*>(bits);
    target.width = width;
    target.height = height;
    return true;
}

// Nothing is drawn during a run (the worker is still writing the trees) nor for an
// empty target: the pane then shows its text on the plain background.
bool Drawable(const Look& look) {
    return !look.busy && g_app.nameSlot > 0 && look.total > 0 && look.width > 0 && look.height > 0;
}

void BeginDrawing(const Look& look) {
    g_pane.drawingUnderWay = false;
    g_pane.shownValid = false;
    if (!Drawable(look) || !MakeBitmap(g_pane.shown, look.width, look.height)) return;
    g_pane.source = CurrentSource();
    g_pane.types = CountExtensions(g_pane.source, &g_pane.typesByRow);
    g_pane.drawingLook = look;
    g_pane.work.highlight = g_pane.highlight;
    BeginMapDrawing(g_pane.work, g_pane.source, g_pane.types, look.width, look.height, g_pane.shown.pixels);
    g_pane.drawingUnderWay = true;
    PostMessageW(g_pane.window, kMsgDrawSlice, 0, 0);
}

void OnLookTimer() {
    const Look look = CurrentLook();
    if (g_pane.shownValid && look == g_pane.shownLook) return;
    if (g_pane.drawingUnderWay && look == g_pane.drawingLook) return;
    if (!Drawable(look)) {
        g_pane.drawingUnderWay = false;
        if (g_pane.typesList && !SameRows(look, g_pane.filledLook)) {
            SendMessageW(g_pane.typesList, LVM_DELETEALLITEMS, 0, 0);
            g_pane.filledLook = look;
        }
        if (g_pane.shownValid || !(look == g_pane.shownLook)) InvalidateRect(g_pane.window, nullptr, FALSE);
        g_pane.shownValid = false;
        g_pane.shownLook = look;
        return;
    }
    BeginDrawing(look);
}

void OnDrawSlice() {
    if (!g_pane.drawingUnderWay) return;
    // Anything changed since the drawing began: its records may be gone. The next
    // look at the timer begins it again.
    if (!(CurrentLook() == g_pane.drawingLook)) {
        g_pane.drawingUnderWay = false;
        return;
    }
    const DWORD start = GetTickCount();
    bool done = false;
    while (!done && GetTickCount() - start < kSliceMilliseconds) done = ContinueMapDrawing(g_pane.work, 512);
    if (!done) {
        PostMessageW(g_pane.window, kMsgDrawSlice, 0, 0);
        return;
    }
    g_pane.drawingUnderWay = false;
    g_pane.shownLook = g_pane.drawingLook;
    g_pane.shownValid = true;
    InvalidateRect(g_pane.window, nullptr, FALSE);
    if (g_pane.typesList && !SameRows(g_pane.shownLook, g_pane.filledLook)) {
        g_pane.filledLook = g_pane.shownLook;
        FillFileTypesList(g_pane.typesList, g_pane.types, ClampUnit(static_cast<int>(g_app.settings.unit)),
                          g_app.settings.comma != 0);
    }
}

void PaintText(HDC dc, const RECT& area, const wchar_t* text) {
    HBRUSH background = CreateSolidBrush(RGB(0xF0, 0xF0, 0xF0));
    FillRect(dc, &area, background);
    DeleteObject(background);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    RECT box = area;
    DrawTextW(dc, text, -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
}

void PaintFrames(HDC dc, const RECT& area) {
    const int width = area.right - area.left, height = area.bottom - area.top;
    const MapSource source = CurrentSource();
    const std::vector<PixelRect> tiles = TopLevelTiles(source, width, height);
    const int thickness = std::max(2, ScaleForDpi(g_pane.window, 2));
    HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    int row = -1;
    while ((row = static_cast<int>(SendMessageW(g_app.list, LVM_GETNEXTITEM, row, LVNI_SELECTED))) >= 0) {
        if (row >= static_cast<int>(tiles.size()) || tiles[row].Width() <= 0) continue;
        RECT outer{area.left + tiles[row].left, area.top + tiles[row].top, area.left + tiles[row].right,
                   area.top + tiles[row].bottom};
        // A white frame inside a black one reads on light and dark tiles alike.
        for (int i = 0; i < thickness; ++i) {
            FrameRect(dc, &outer, i == 0 ? black : white);
            InflateRect(&outer, -1, -1);
        }
        FrameRect(dc, &outer, black);
    }
}

void OnPaint() {
    g_pane.framesAsked = false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(g_pane.window, &paint);
    RECT client{};
    GetClientRect(g_pane.window, &client);
    RECT bar = client;
    bar.bottom = std::min(client.bottom, static_cast<LONG>(TreemapSplitterHeight(g_pane.window)));
    FillRect(dc, &bar, GetSysColorBrush(COLOR_BTNFACE));
    DrawEdge(dc, &bar, EDGE_RAISED, BF_TOP | BF_BOTTOM);
    const RECT area = MapArea();
    const Look look = CurrentLook();
    if (look.busy) {
        PaintText(dc, area, L"集計中...");
    } else if (g_app.nameSlot == 0 || look.total == 0) {
        PaintText(dc, area, L"表示する項目がありません");
    } else if (g_pane.shownValid && g_pane.shown.width == look.width && g_pane.shown.height == look.height &&
               g_pane.shownLook == look) {
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(memory, g_pane.shown.bitmap.get());
        BitBlt(dc, area.left, area.top, look.width, look.height, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
        PaintFrames(dc, area);
    } else {
        // A drawing of an older state is never shown: its tiles may name rows that are gone.
        PaintText(dc, area, L"描画中...");
    }
    EndPaint(g_pane.window, &paint);
}

bool HitAt(int x, int y, MapHit& hit) {
    const Look look = CurrentLook();
    if (!Drawable(look)) return false;
    const RECT area = MapArea();
    return HitMap(CurrentSource(), look.width, look.height, x - area.left, y - area.top, hit);
}

void SelectOnlyRow(int row) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = 0;
    SendMessageW(g_app.list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(g_app.list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    SendMessageW(g_app.list, LVM_SETSELECTIONMARK, 0, row);
    SendMessageW(g_app.list, LVM_ENSUREVISIBLE, row, FALSE);
    InvalidateRect(g_pane.window, nullptr, FALSE);
}

bool OnSplitter(int y) { return y < TreemapSplitterHeight(g_pane.window); }

void OnButtonDown(int x, int y) {
    if (OnSplitter(y)) {
        g_pane.dragging = true;
        g_pane.dragOffset = y;
        SetCapture(g_pane.window);
        return;
    }
    MapHit hit;
    if (HitAt(x, y, hit)) SelectOnlyRow(hit.row);
}

void OnDoubleClick(int x, int y) {
    MapHit hit;
    if (OnSplitter(y) || !HitAt(x, y, hit)) return;
    SelectOnlyRow(hit.row);
    if (hit.path.find(L'\\') == std::wstring::npos) {
        if (g_pane.host.openRow) g_pane.host.openRow(hit.row);
        return;
    }
    // A folder below a row becomes the target, as the row of that folder would.
    if (!hit.folder) {
        const size_t last = hit.path.rfind(L'\\');
        hit.path.resize(last);
    }
    if (g_pane.host.openFolder) g_pane.host.openFolder(TargetPath() + hit.path);
}

void OnRightClick(int x, int y) {
    MapHit hit;
    if (OnSplitter(y) || !HitAt(x, y, hit)) return;
    SelectOnlyRow(hit.row);
    POINT screen{x, y};
    ClientToScreen(g_pane.window, &screen);
    if (g_pane.host.rowMenu) g_pane.host.rowMenu(hit.row, screen);
}

// The splitter moves the pane's top edge: the pane grows as the list shrinks.
void OnDrag(int y) {
    RECT pane{};
    GetWindowRect(g_pane.window, &pane);
    const int height = (pane.bottom - pane.top) - (y - g_pane.dragOffset) - TreemapSplitterHeight(g_pane.window);
    const int wanted = std::max(TreemapMinimumHeight(g_pane.window), height);
    if (wanted == g_app.settings.treemapHeight) return;
    g_app.settings.treemapHeight = MulDiv(wanted, 96, ScaleForDpi(g_pane.window, 96));
    if (g_pane.host.heightChanged) g_pane.host.heightChanged();
}

void OnMouseMove(int x, int y) {
    if (g_pane.dragging) {
        OnDrag(y);
        return;
    }
    MapHit hit;
    std::wstring text;
    if (!OnSplitter(y) && HitAt(x, y, hit)) {
        const int unit = ClampUnit(static_cast<int>(g_app.settings.unit));
        text = TargetPath() + hit.path + L"\r\n" + FormatSize(hit.size, unit, g_app.settings.comma != 0) +
               SizeSuffix(unit);
    }
    if (text == g_pane.tipText) return;
    g_pane.tipText = text;
    TOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = g_pane.window;
    tool.uId = 1;
    tool.lpszText = text.empty() ? const_cast<wchar_t*>(L"") : g_pane.tipText.data();
    SendMessageW(g_pane.tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    if (text.empty()) SendMessageW(g_pane.tooltip, TTM_POP, 0, 0);
}

void OnButtonUp() {
    if (!g_pane.dragging) return;
    g_pane.dragging = false;
    ReleaseCapture();
}

BOOL OnSetCursor(LPARAM lParam) {
    if (LOWORD(lParam) != HTCLIENT) return FALSE;
    POINT point{};
    GetCursorPos(&point);
    ScreenToClient(g_pane.window, &point);
    SetCursor(LoadCursorW(nullptr, OnSplitter(point.y) || g_pane.dragging ? IDC_SIZENS : IDC_ARROW));
    return TRUE;
}

void OnCreate(HWND window) {
    g_pane.window = window;
    g_pane.tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window, nullptr,
                                     g_app.instance, nullptr);
    if (g_pane.tooltip) {
        TOOLINFOW tool{};
        tool.cbSize = sizeof(tool);
        tool.uFlags = TTF_SUBCLASS;
        tool.hwnd = window;
        tool.uId = 1;
        tool.lpszText = const_cast<wchar_t*>(L"");
        GetClientRect(window, &tool.rect);
        tool.rect.right = tool.rect.bottom = 0x7FFF;
        SendMessageW(g_pane.tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        // Paths are long; several lines keep the tip on the screen.
        SendMessageW(g_pane.tooltip, TTM_SETMAXTIPWIDTH, 0, ScaleForDpi(window, 600));
    }
    g_pane.typesList = CreateFileTypesList(window);
    SetTimer(window, kTimerLook, kLookInterval, nullptr);
}

void OnSize() {
    PlaceTypesList();
    OnLookTimer();
    InvalidateRect(g_pane.window, nullptr, FALSE);
}

// Types selected in the list light their tiles: the map is drawn again with them.
LRESULT OnNotify(const NMHDR* header) {
    if (header->hwndFrom != g_pane.typesList) return 0;
    if (header->code == NM_CUSTOMDRAW) return DrawFileTypesCell(reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(header)));
    if (header->code == LVN_ITEMCHANGED) {
        std::vector<std::wstring> selected = SelectedFileTypes(g_pane.typesList);
        if (selected != g_pane.highlight) {
            g_pane.highlight = std::move(selected);
            ++g_pane.highlightVersion;
        }
    }
    return 0;
}

void OnDestroy() {
    KillTimer(g_pane.window, kTimerLook);
    g_pane.drawingUnderWay = false;
    g_pane.shown = Bitmap{};
    g_pane.source = MapSource{};
    g_pane.typesByRow = ExtensionCache{};
    g_pane.window = nullptr;
    g_pane.tooltip = nullptr;
    g_pane.typesList = nullptr;
    g_pane.highlight.clear();
    g_pane.filledLook = Look{};
    g_app.treemap = nullptr;
}

LRESULT DispatchPaneMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE: OnCreate(window); return 0;
        case WM_DESTROY: OnDestroy(); return 0;
        case WM_PAINT: OnPaint(); return 0;
        case WM_ERASEBKGND: return 1;
        case WM_SIZE: OnSize(); return 0;
        case WM_NOTIFY: return OnNotify(reinterpret_cast<const NMHDR*>(lParam));
        case WM_TIMER: OnLookTimer(); return 0;
        case kMsgDrawSlice: OnDrawSlice(); return 0;
        case WM_LBUTTONDOWN: OnButtonDown(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); return 0;
        case WM_LBUTTONUP: OnButtonUp(); return 0;
        case WM_CAPTURECHANGED: g_pane.dragging = false; return 0;
        case WM_LBUTTONDBLCLK: OnDoubleClick(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); return 0;
        case WM_RBUTTONUP: OnRightClick(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); return 0;
        case WM_MOUSEMOVE: OnMouseMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)); return 0;
        case WM_SETCURSOR:
            if (OnSetCursor(lParam)) return TRUE;
            break;
        default: break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// No exception may leave a window procedure.
LRESULT CALLBACK TreemapProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return DispatchPaneMessage(window, message, wParam, lParam);
    } catch (const std::bad_alloc&) {
        // A map too large for memory stays undrawn; the list goes on.
        g_pane.drawingUnderWay = false;
    } catch (const std::exception&) {
        g_pane.drawingUnderWay = false;
    }
    return 0;
}

}  // namespace

int ScaleForDpi(HWND window, int pixels) {
    HDC dc = GetDC(window);
    const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc) ReleaseDC(window, dc);
    return MulDiv(pixels, dpi, 96);
}

int TreemapSplitterHeight(HWND window) { return ScaleForDpi(window, 5); }
int TreemapMinimumHeight(HWND window) { return ScaleForDpi(window, 40); }

bool RegisterTreemapClass(HINSTANCE instance, const TreemapHost& host) {
    g_pane.host = host;
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = TreemapProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kTreemapClass;
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND CreateTreemapPane(HWND parent) {
    return CreateWindowExW(0, kTreemapClass, L"", WS_CHILD | WS_CLIPSIBLINGS, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TREEMAP)), g_app.instance, nullptr);
}

const uint32_t* CurrentTreemapPicture(int& width, int& height) {
    if (!g_pane.window || !g_pane.shownValid || !(g_pane.shownLook == CurrentLook())) return nullptr;
    width = g_pane.shown.width;
    height = g_pane.shown.height;
    return g_pane.shown.pixels;
}

void LayOutTreemapPane() {
    if (!g_pane.window) return;
    g_pane.filledLook = Look{};
    OnSize();
}

HWND FileTypesList() { return g_pane.typesList; }

void RefreshTreemapFrames() {
    // Selecting 100,000 rows comes here once a row, and each invalidation is a trip
    // through the server under Wine (4.7 s for all of them): one waits for the paint.
    if (!g_pane.window || !g_pane.shownValid || g_pane.framesAsked) return;
    g_pane.framesAsked = true;
    InvalidateRect(g_pane.window, nullptr, FALSE);
}

}  // namespace lurmo

#include "app/app_state.h"

namespace lurmo {

AppState g_app;

int ShowMessage(const std::wstring& text, UINT type) {
    return MessageBoxW(g_app.main, text.c_str(), g_app.caption.c_str(), type);
}

}  // namespace lurmo

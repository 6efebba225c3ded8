// The host's toast service: a hidden top-level window that answers the
// registered message the plug-in broadcasts, prints each toast and, when a
// display is there, pops it up for a few seconds.
#include "toast_window.h"

#include <cstdio>
#include <string>

namespace {

UINT toastMessage = 0;
int toastsShown = 0;
const char kPopupClass[] = "SonabellHostToastPopup";

std::string Narrow(const wchar_t* text) {
    if (!text)
        return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? static_cast<size_t>(size) : 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}

LRESULT CALLBACK PopupProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_TIMER:
        DestroyWindow(window);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT area;
        GetClientRect(window, &area);
        FillRect(dc, &area, GetSysColorBrush(COLOR_INFOBK));
        InflateRect(&area, -8, -6);
        SetBkMode(dc, TRANSPARENT);
        char text[1024];
        GetWindowTextA(window, text, sizeof text);
        DrawTextA(dc, text, -1, &area, DT_LEFT | DT_WORDBREAK);
        EndPaint(window, &paint);
        return 0;
    }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void PopUp(const std::string& title, const std::string& text) {
    std::string body = title + "\n" + text;
    HWND popup = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kPopupClass, body.c_str(),
                                 WS_POPUP | WS_BORDER, GetSystemMetrics(SM_CXSCREEN) - 330,
                                 GetSystemMetrics(SM_CYSCREEN) - 120, 320, 80, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    if (!popup)
        return;
    ShowWindow(popup, SW_SHOWNOACTIVATE);
    SetTimer(popup, 1, 3000, nullptr);
}

LRESULT CALLBACK ToastProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == toastMessage && toastMessage != 0 && wParam) {
        // The request: title, text, param, flag, and a field the plug-in
        // leaves unset; each one machine word.
        const UINT_PTR* request = reinterpret_cast<const UINT_PTR*>(wParam);
        std::string title, text;
        if (lParam == 1) {
            title = Narrow(reinterpret_cast<const wchar_t*>(request[0]));
            text = Narrow(reinterpret_cast<const wchar_t*>(request[1]));
        } else {
            title = request[0] ? reinterpret_cast<const char*>(request[0]) : "";
            text = request[1] ? reinterpret_cast<const char*>(request[1]) : "";
        }
        ++toastsShown;
        std::printf("  [toast] %s: %s\n", title.c_str(), text.c_str());
        std::fflush(stdout);
        PopUp(title, text);
        return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

HWND CreateToastWindow() {
    toastMessage = RegisterWindowMessageA("MessengerPlus_DisplayToast");
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA toastClass{};
    toastClass.lpfnWndProc = ToastProc;
    toastClass.hInstance = instance;
    toastClass.lpszClassName = "SonabellHostToastService";
    RegisterClassA(&toastClass);
    WNDCLASSA popupClass{};
    popupClass.lpfnWndProc = PopupProc;
    popupClass.hInstance = instance;
    popupClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    popupClass.lpszClassName = kPopupClass;
    RegisterClassA(&popupClass);
    // A hidden top-level window: HWND_BROADCAST reaches it, a message-only
    // window would not.
    return CreateWindowExA(0, toastClass.lpszClassName, "Sonabell host toasts", WS_OVERLAPPED, 0, 0,
                           0, 0, nullptr, nullptr, instance, nullptr);
}

int ToastsShown() {
    return toastsShown;
}

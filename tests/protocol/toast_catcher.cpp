#include "toast_catcher.h"

#include <gtest/gtest.h>

namespace testing_support {

namespace {
const char kClassName[] = "SonabellTestToastCatcher";

struct RequestWords {
    const void* title;
    const void* text;
    UINT_PTR param;
    INT_PTR flag;
    UINT_PTR fifth;
};

std::wstring Widen(const char* text) {
    std::wstring wide;
    for (; *text; ++text)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(*text));
    return wide;
}
} // namespace

LRESULT CALLBACK ToastCatcher::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    static const UINT toastMessage = RegisterWindowMessageA("MessengerPlus_DisplayToast");
    if (message == toastMessage) {
        auto* self = reinterpret_cast<ToastCatcher*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        const auto* request = reinterpret_cast<const RequestWords*>(wParam);
        CaughtToast toast;
        toast.titleAddress = request->title;
        toast.textAddress = request->text;
        toast.param = request->param;
        toast.flag = request->flag;
        toast.fifth = request->fifth;
        toast.lParam = lParam;
        if (lParam == 0) {
            toast.title = Widen(static_cast<const char*>(request->title));
            toast.text = Widen(static_cast<const char*>(request->text));
        } else {
            toast.title = static_cast<const wchar_t*>(request->title);
            toast.text = static_cast<const wchar_t*>(request->text);
        }
        if (self)
            self->toasts.push_back(toast);
        return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

ToastCatcher::ToastCatcher() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = Proc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kClassName;
    RegisterClassA(&windowClass); // fails harmlessly when already registered
    window_ = CreateWindowExA(0, kClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    EXPECT_NE(nullptr, window_) << "no window for toasts: " << GetLastError();
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

ToastCatcher::~ToastCatcher() {
    if (window_)
        DestroyWindow(window_);
}

} // namespace testing_support

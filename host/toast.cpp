#include "host/protocol.h"

namespace {
// The host owns the message; it reads the record during the send, which
// returns only after every window has answered.
LRESULT SendToast(const void* text, const void* title, UINT_PTR param, UINT_PTR flag, LPARAM wide) {
    ToastRequest request;
    request.title = title;
    request.text = text;
    request.param = param;
    request.flag = (flag & 0xFF) != 0 ? -1 : 0;
    request.reserved = 0;
    UINT message = RegisterWindowMessageA("MessengerPlus_DisplayToast");
    return SendMessageA(HWND_BROADCAST, message, reinterpret_cast<WPARAM>(&request), wide);
}
} // namespace

static_assert(sizeof(ToastRequest) == 5 * sizeof(void*), "the host reads five machine words");

extern "C" LRESULT WINAPI DisplayToast(const char* text, const char* title, UINT_PTR param,
                                       UINT_PTR flag) {
    return SendToast(text, title, param, flag, 0);
}

extern "C" LRESULT WINAPI DisplayToastW(const wchar_t* text, const wchar_t* title, UINT_PTR param,
                                        UINT_PTR flag) {
    return SendToast(text, title, param, flag, 1);
}

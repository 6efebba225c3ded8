// A hidden top-level window that answers "MessengerPlus_DisplayToast" the way
// the host does, and keeps a copy of every request it gets.
#ifndef SONABELL_TESTS_PROTOCOL_TOAST_CATCHER_H
#define SONABELL_TESTS_PROTOCOL_TOAST_CATCHER_H

#include <windows.h>

#include <string>
#include <vector>

namespace testing_support {

struct CaughtToast {
    const void* titleAddress = nullptr; // the record's five words
    const void* textAddress = nullptr;
    UINT_PTR param = 0;
    INT_PTR flag = 0;
    UINT_PTR fifth = 0;
    LPARAM lParam = 0;
    std::wstring title, text; // read as ANSI when lParam is 0, else as UTF-16
};

class ToastCatcher {
  public:
    ToastCatcher();
    ~ToastCatcher();
    ToastCatcher(const ToastCatcher&) = delete;
    ToastCatcher& operator=(const ToastCatcher&) = delete;
    std::vector<CaughtToast> toasts;

  private:
    static LRESULT CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
    HWND window_ = nullptr;
};

} // namespace testing_support

#endif

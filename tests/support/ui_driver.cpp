#include "ui_driver.h"

namespace testing_support {

namespace {
UiDriver* activeDriver = nullptr;

std::string WindowText(HWND window) {
    int length = GetWindowTextLengthA(window);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    GetWindowTextA(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    return text;
}

BOOL CALLBACK CollectStatic(HWND child, LPARAM param) {
    char className[32] = "";
    GetClassNameA(child, className, sizeof className);
    if (lstrcmpiA(className, "Static") == 0) {
        std::string text = WindowText(child);
        if (!text.empty()) {
            auto* out = reinterpret_cast<std::string*>(param);
            if (!out->empty())
                *out += "\n";
            *out += text;
        }
    }
    return TRUE;
}

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param) {
    if (IsWindowVisible(window) && IsWindowEnabled(window))
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}
} // namespace

UiDriver::UiDriver() {
    activeDriver = this;
    timer_ = SetTimer(nullptr, 0, 15, &UiDriver::Tick);
}

UiDriver::~UiDriver() {
    KillTimer(nullptr, timer_);
    if (activeDriver == this)
        activeDriver = nullptr;
}

void UiDriver::Expect(const std::string& caption, Action action) {
    expected_.push_back({caption, std::move(action)});
}

void UiDriver::Later(std::function<void()> step) {
    later_.push_back(std::move(step));
}

void CALLBACK UiDriver::Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (activeDriver)
        activeDriver->Poll();
}

void UiDriver::Poll() {
    if (inPoll_)
        return;
    inPoll_ = true;
    if (!later_.empty()) {
        auto step = std::move(later_.front());
        later_.pop_front();
        // A step may run a modal loop of its own, which must be driven too.
        inPoll_ = false;
        step();
        return;
    }
    std::vector<HWND> windows;
    EnumThreadWindows(GetCurrentThreadId(), CollectTopLevel, reinterpret_cast<LPARAM>(&windows));
    for (HWND window : windows) {
        if (handled_.count(window))
            continue;
        char className[32] = "";
        GetClassNameA(window, className, sizeof className);
        if (lstrcmpA(className, "#32770") != 0)
            continue; // only dialogs and message boxes
        handled_.insert(window);
        SeenWindow seenWindow{WindowText(window), ""};
        EnumChildWindows(window, CollectStatic, reinterpret_cast<LPARAM>(&seenWindow.text));
        seen.push_back(seenWindow);
        if (!expected_.empty() && expected_.front().caption == seenWindow.caption) {
            Action action = std::move(expected_.front().action);
            expected_.pop_front();
            action(window);
        } else {
            unexpected.push_back(seenWindow);
            PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            PostMessageA(window, WM_CLOSE, 0, 0);
        }
        break; // one window per tick: the action may have changed the stack
    }
    // Forget windows that are gone, so a reused handle counts as new.
    for (auto it = handled_.begin(); it != handled_.end();)
        it = IsWindow(*it) ? std::next(it) : handled_.erase(it);
    inPoll_ = false;
}

void UiDriver::Click(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

UiDriver::Action UiDriver::Press(int id) {
    return [id](HWND dialog) { Click(dialog, id); };
}

std::string UiDriver::ControlText(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    return control ? WindowText(control) : std::string();
}

} // namespace testing_support

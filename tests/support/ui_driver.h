// Drives modal dialogs and message boxes from the test's own thread, the way
// Wine's conformance tests do: a thread timer runs inside every nested modal
// loop, finds each new top-level window of the thread, records it and hands it
// to the next expected action.
#ifndef SONABELL_TESTS_UI_DRIVER_H
#define SONABELL_TESTS_UI_DRIVER_H

#include <windows.h>

#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace testing_support {

struct SeenWindow {
    std::string caption;
    std::string text; // the texts of its static controls, joined by "\n"
};

class UiDriver {
  public:
    using Action = std::function<void(HWND)>;

    UiDriver();
    ~UiDriver();
    UiDriver(const UiDriver&) = delete;
    UiDriver& operator=(const UiDriver&) = delete;

    // The next window with this caption gets the action. Expectations are
    // met in order; a window that matches none is recorded in `unexpected`
    // and cancelled, so a test never hangs on it.
    void Expect(const std::string& caption, Action action);
    size_t Pending() const { return expected_.size(); }
    // Runs once on the next tick, inside whatever modal loop is running then:
    // for a step that must wait until posted input has been handled. Unlike
    // an action, a step may open a modal loop itself (e.g. SendMessage).
    void Later(std::function<void()> step);

    std::vector<SeenWindow> seen;       // every window, in the order they opened
    std::vector<SeenWindow> unexpected; // the ones nobody expected
    // The text of every window seen (a message box's message), in order.
    std::vector<std::string> SeenTexts() const {
        std::vector<std::string> texts;
        for (const SeenWindow& window : seen)
            texts.push_back(window.text);
        return texts;
    }

    // Actions. Clicks are posted, so the action returns before any dialog the
    // click opens runs its own modal loop.
    static void Click(HWND dialog, int id);
    static Action Press(int id); // an action that clicks one button
    static std::string ControlText(HWND dialog, int id);

  private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    void Poll();

    struct Expectation {
        std::string caption;
        Action action;
    };
    std::deque<Expectation> expected_;
    std::deque<std::function<void()>> later_;
    std::set<HWND> handled_;
    UINT_PTR timer_ = 0;
    bool inPoll_ = false;
};

} // namespace testing_support

#endif

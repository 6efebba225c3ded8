#include "dialog_answers.h"

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <set>
#include <sstream>
#include <vector>

namespace {

struct Step {
    std::string verb;
    int id = 0;
    std::string text;
};

struct Answer {
    std::string caption;
    std::vector<Step> steps;
};

std::deque<Answer> answers;
std::set<HWND> handled;
bool polling = false;

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return std::string();
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

std::string TextOf(HWND window) {
    char text[2048] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

BOOL CALLBACK CollectTexts(HWND child, LPARAM param) {
    char className[32] = "";
    GetClassNameA(child, className, sizeof className);
    auto* out = reinterpret_cast<std::vector<std::string>*>(param);
    // Message boxes carry their text in a static; the Error dialog in an edit.
    if (GetDlgCtrlID(child) == 0xFFFF || GetDlgCtrlID(child) == 100 ||
        GetDlgCtrlID(child) == 1023) {
        std::string text = TextOf(child);
        if (!text.empty())
            out->push_back(text);
    }
    (void)className;
    return TRUE;
}

BOOL CALLBACK CollectDialogs(HWND window, LPARAM param) {
    char className[32] = "";
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "#32770") == 0 && IsWindowVisible(window) && IsWindowEnabled(window))
        reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
    return TRUE;
}

void ClickRow(HWND dialog, int row, bool twice) {
    HWND list = GetDlgItem(dialog, 1009);
    RECT rect{};
    rect.left = LVIR_LABEL;
    if (!list || !SendMessageA(list, LVM_GETITEMRECT, static_cast<WPARAM>(row),
                               reinterpret_cast<LPARAM>(&rect))) {
        std::printf("    (there is no row %d)\n", row);
        return;
    }
    LPARAM point = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    // Real mouse messages, so the list view itself reports the click.
    PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageA(list, WM_LBUTTONUP, 0, point);
    if (twice) {
        PostMessageA(list, WM_LBUTTONDBLCLK, MK_LBUTTON, point);
        PostMessageA(list, WM_LBUTTONUP, 0, point);
    }
}

void Act(HWND dialog, const Step& step) {
    if (step.verb == "set") {
        SetDlgItemTextA(dialog, step.id, step.text.c_str());
    } else if (step.verb == "click") {
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(step.id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, step.id)));
    } else if (step.verb == "check") {
        // A real click toggles the box and notifies the dialog.
        PostMessageA(GetDlgItem(dialog, step.id), BM_CLICK, 0, 0);
    } else if (step.verb == "click-row") {
        ClickRow(dialog, step.id, false);
    } else if (step.verb == "pick-row") {
        ClickRow(dialog, step.id, true);
    }
}

void CALLBACK Poll(HWND, UINT, UINT_PTR, DWORD) {
    if (polling)
        return;
    polling = true;
    std::vector<HWND> dialogs;
    EnumThreadWindows(GetCurrentThreadId(), CollectDialogs, reinterpret_cast<LPARAM>(&dialogs));
    for (HWND dialog : dialogs) {
        if (handled.count(dialog))
            continue;
        handled.insert(dialog);
        std::string caption = TextOf(dialog);
        std::vector<std::string> texts;
        EnumChildWindows(dialog, CollectTexts, reinterpret_cast<LPARAM>(&texts));
        std::printf("  [window] \"%s\"\n", caption.c_str());
        for (const std::string& text : texts) {
            std::istringstream lines(text);
            std::string line;
            while (std::getline(lines, line)) {
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                std::printf("    | %s\n", line.c_str());
            }
        }
        if (!answers.empty() && answers.front().caption == caption) {
            for (const Step& step : answers.front().steps)
                Act(dialog, step);
            answers.pop_front();
        } else {
            std::printf("    (closed)\n");
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }
        std::fflush(stdout);
        break; // one window per tick: an action may open the next one
    }
    for (auto it = handled.begin(); it != handled.end();)
        it = IsWindow(*it) ? std::next(it) : handled.erase(it);
    polling = false;
}

} // namespace

bool QueueDialogAnswer(const std::string& spec, std::string& error) {
    std::string rest = Trim(spec);
    if (rest.empty() || rest[0] != '"') {
        error = "a dialog answer starts with the window's caption in double quotes";
        return false;
    }
    size_t close = rest.find('"', 1);
    if (close == std::string::npos) {
        error = "the caption has no closing quote";
        return false;
    }
    Answer answer;
    answer.caption = rest.substr(1, close - 1);
    std::stringstream actions(rest.substr(close + 1));
    std::string action;
    while (std::getline(actions, action, ';')) {
        action = Trim(action);
        if (action.empty())
            continue;
        std::istringstream words(action);
        Step step;
        std::string id;
        words >> step.verb >> id;
        char* end = nullptr;
        step.id = static_cast<int>(std::strtol(id.c_str(), &end, 10));
        if (id.empty() || *end) {
            error = "\"" + action + "\": expected a control or row number after " + step.verb;
            return false;
        }
        if (step.verb == "set") {
            std::string text;
            std::getline(words, text);
            step.text = Trim(text);
        } else if (step.verb != "click" && step.verb != "check" && step.verb != "click-row" &&
                   step.verb != "pick-row") {
            error = "unknown dialog action \"" + step.verb + "\"";
            return false;
        }
        answer.steps.push_back(step);
    }
    answers.push_back(answer);
    return true;
}

void StartDialogAnswers() {
    SetTimer(nullptr, 0, 30, Poll);
}

int PendingDialogAnswers() {
    return static_cast<int>(answers.size());
}

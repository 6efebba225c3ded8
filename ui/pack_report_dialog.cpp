// The check's report (template 128): the soundpack is checked on a worker
// thread, its rows arrive as posted messages, and Cancel or Close stop it
// at once, so the host's window never waits for a slow file.
#include "ui/dialogs.h"

#include "host/plugin.h"
#include "soundpack/pack_check.h"
#include "soundpack/soundpack.h"
#include "ui/resource.h"

#include <commctrl.h>

#include <string>
#include <vector>

namespace {

constexpr UINT kRowMessage = WM_APP + 1;  // lParam: a PackCheckRow to take over
constexpr UINT kDoneMessage = WM_APP + 2; // wParam: the check's result

struct Report {
    HWND dialog = nullptr;
    HWND list = nullptr;
    std::string path;
    PackCheckWorld world;
    HANDLE worker = nullptr;
    volatile long stop = 0;
    bool running = false;
    PackCheckTally tally = {};
    std::vector<std::string> rows; // as text, for Copy
    POINT minimum = {};            // the template's own size is the smallest
};

Report* report = nullptr;

bool PostRow(const PackCheckRow& row, void* context) {
    Report* owner = static_cast<Report*>(context);
    if (owner->stop)
        return false;
    PackCheckRow* copy = new PackCheckRow(row);
    if (!PostMessageA(owner->dialog, kRowMessage, 0, reinterpret_cast<LPARAM>(copy))) {
        delete copy;
        return false;
    }
    return true;
}

DWORD WINAPI CheckOnWorker(LPVOID context) {
    Report* owner = static_cast<Report*>(context);
    const int result =
        CheckSoundpack(owner->path.c_str(), owner->world, PostRow, owner, &owner->stop);
    PostMessageA(owner->dialog, kDoneMessage, static_cast<WPARAM>(result), 0);
    return 0;
}

void SetSummary(const std::string& text) {
    SetDlgItemTextA(report->dialog, IDC_REPORT_SUMMARY, text.c_str());
}

void InsertColumn(int position, const char* title, int width) {
    LVCOLUMNA column = {};
    column.mask = LVCF_WIDTH | LVCF_TEXT;
    column.cx = width;
    column.pszText = const_cast<char*>(title);
    SendMessageA(report->list, LVM_INSERTCOLUMNA, position, reinterpret_cast<LPARAM>(&column));
}

void AddRow(const PackCheckRow& row) {
    const std::string texts[] = {row.index,    row.command,
                                 row.filename, PackVerdictText(row.verdict),
                                 row.detail,   PackLengthText(row.lengthMs)};
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = static_cast<int>(report->rows.size());
    for (int column = 0; column < 6; ++column) {
        item.iSubItem = column;
        item.pszText = const_cast<char*>(texts[column].c_str());
        SendMessageA(report->list, column == 0 ? LVM_INSERTITEMA : LVM_SETITEMA, 0,
                     reinterpret_cast<LPARAM>(&item));
    }
    report->rows.push_back(PackCheckRowText(row));
    TallyPackRow(&report->tally, row);
    SetSummary("Checked " + std::to_string(report->rows.size()) + " of " +
               std::to_string(row.total) + " sounds...");
}

// Stops the worker and waits for it: it ends after the file it is opening.
void StopWorker() {
    InterlockedExchange(&report->stop, 1);
    if (!report->worker)
        return;
    WaitForSingleObject(report->worker, INFINITE);
    CloseHandle(report->worker);
    report->worker = nullptr;
    // Rows it posted before it saw the stop.
    MSG message;
    while (PeekMessageA(&message, report->dialog, kRowMessage, kRowMessage, PM_REMOVE))
        delete reinterpret_cast<PackCheckRow*>(message.lParam);
}

void Finish(const std::string& summary) {
    report->running = false;
    EnableWindow(GetDlgItem(report->dialog, IDC_STOP_CHECK), FALSE);
    SetSummary(summary);
}

void Cancel() {
    if (!report->running)
        return;
    StopWorker();
    Finish("Check cancelled after " + std::to_string(report->rows.size()) + " sounds. " +
           PackCheckSummaryText(report->tally));
}

void CopyToClipboard() {
    std::string text;
    for (const std::string& row : report->rows)
        text += row + "\r\n";
    char summary[512] = "";
    GetDlgItemTextA(report->dialog, IDC_REPORT_SUMMARY, summary, sizeof summary);
    text += std::string(summary) + "\r\n";
    if (!OpenClipboard(report->dialog))
        return;
    EmptyClipboard();
    if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1)) {
        if (char* bytes = static_cast<char*>(GlobalLock(memory))) {
            memcpy(bytes, text.c_str(), text.size() + 1);
            GlobalUnlock(memory);
            if (!SetClipboardData(CF_TEXT, memory))
                GlobalFree(memory);
        } else {
            GlobalFree(memory);
        }
    }
    CloseClipboard();
}

// The list takes all the room the buttons and the summary line leave.
void Layout() {
    RECT client;
    GetClientRect(report->dialog, &client);
    RECT units = {7, 14, 50, 9}; // margin, button height, button width, line height
    MapDialogRect(report->dialog, &units);
    const int margin = units.left;
    const int buttonHeight = units.top;
    const int buttonWidth = units.right;
    const int lineHeight = units.bottom;
    const int buttonTop = client.bottom - margin - buttonHeight;
    const int buttons[] = {IDC_COPY, IDC_STOP_CHECK, IDCANCEL};
    int left = client.right - margin - 3 * buttonWidth - 2 * (margin / 2);
    for (int id : buttons) {
        MoveWindow(GetDlgItem(report->dialog, id), left, buttonTop, buttonWidth, buttonHeight,
                   TRUE);
        left += buttonWidth + margin / 2;
    }
    const int summaryTop = buttonTop - margin / 2 - lineHeight;
    MoveWindow(GetDlgItem(report->dialog, IDC_REPORT_SUMMARY), margin, summaryTop,
               client.right - 2 * margin, lineHeight, TRUE);
    RECT list;
    GetWindowRect(report->list, &list);
    MapWindowPoints(nullptr, report->dialog, reinterpret_cast<POINT*>(&list), 2);
    MoveWindow(report->list, margin, list.top, client.right - 2 * margin,
               summaryTop - margin / 2 - list.top, TRUE);
}

void Start(HWND dialog, const char* path) {
    report = new Report();
    report->path = path;
    // Taken here, on the thread that owns the table.
    report->world = CurrentPackCheckWorld();
    report->dialog = dialog;
    report->list = GetDlgItem(dialog, IDC_REPORT_LIST);
    RECT window;
    GetWindowRect(dialog, &window);
    report->minimum = {window.right - window.left, window.bottom - window.top};
    SetDialogIcon(dialog);
    SendMessageA(report->list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT,
                 LVS_EX_FULLROWSELECT);
    InsertColumn(0, "Index", 45);
    InsertColumn(1, "Command", 80);
    InsertColumn(2, "File", 100);
    InsertColumn(3, "Verdict", 95);
    InsertColumn(4, "Detail", 400);
    InsertColumn(5, "Seconds", 62);
    // Shown beside the file it measures, though last in a row's text.
    int order[] = {0, 1, 2, 5, 3, 4};
    SendMessageA(report->list, LVM_SETCOLUMNORDERARRAY, 6, reinterpret_cast<LPARAM>(order));
    SetSummary("Checking...");
    report->running = true;
    DWORD id = 0;
    report->worker = CreateThread(nullptr, 0, CheckOnWorker, report, 0, &id);
    if (!report->worker)
        Finish("The check could not be started.");
}

} // namespace

INT_PTR CALLBACK PackReportProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        Start(dialog, reinterpret_cast<const char*>(lParam));
        return TRUE;
    case kRowMessage: {
        PackCheckRow* row = reinterpret_cast<PackCheckRow*>(lParam);
        if (report->running)
            AddRow(*row);
        delete row;
        return TRUE;
    }
    case kDoneMessage:
        if (!report->running)
            return TRUE;
        StopWorker();
        if (static_cast<int>(wParam) != kPackDone)
            Finish(PackRefusalText(static_cast<int>(wParam)));
        else
            Finish(PackCheckSummaryText(report->tally));
        return TRUE;
    case WM_SIZE:
        if (report)
            Layout();
        return TRUE;
    case WM_GETMINMAXINFO:
        if (report) {
            reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize = report->minimum;
            return TRUE;
        }
        return FALSE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_COPY:
            CopyToClipboard();
            break;
        case IDC_STOP_CHECK:
            Cancel();
            break;
        case IDOK:
        case IDCANCEL:
            Cancel();
            EndDialog(dialog, 0);
            break;
        }
        return TRUE;
    case WM_DESTROY:
        if (report) {
            StopWorker();
            delete report;
            report = nullptr;
        }
        ReleaseTemplateBitmaps(dialog);
        return FALSE;
    }
    return FALSE;
}

void ShowPackReport(HWND owner, const std::string& path) {
    DialogBoxParamA(moduleHandle, MAKEINTRESOURCEA(IDD_PACK_REPORT), owner, PackReportProc,
                    reinterpret_cast<LPARAM>(path.c_str()));
}

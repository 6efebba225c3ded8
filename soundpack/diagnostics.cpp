#include "soundpack/diagnostics.h"

#include "database/sound_table.h"

#include <windows.h>

#include <cstdio>

std::string errorReport;

const char kReadOnlyDatabaseText[] =
    "The sound database is read-only for this Windows account, so nothing was changed. Your "
    "sounds still play. To let every account of this computer add, edit and delete sounds, "
    "have an administrator run Sonabell-Setup.exe again.";

void SetErrorReport(const char* message) {
    errorReport = message ? message : "";
}

void AppendErrorReport(const char* text) {
    if (text)
        errorReport += text;
}

namespace {
const char kSystemErrorIntro[] = "The following error occurred:\n";
constexpr int kSystemTextSize = 256;

// Keeps the system's "no disk in drive" box from stopping the caller while it
// lives. Windows 7 and later set that for this thread alone; XP and Vista only
// have the process-wide mode, so there it is set and put back around the call.
class NoDriveErrorBoxes {
  public:
    NoDriveErrorBoxes() {
        FARPROC found = GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetThreadErrorMode");
        setThreadMode_ = reinterpret_cast<SetThreadModeFn>(reinterpret_cast<void*>(found));
        if (setThreadMode_) {
            threadModeSet_ = setThreadMode_(SEM_FAILCRITICALERRORS, &oldThreadMode_);
        } else {
            oldProcessMode_ = SetErrorMode(0);
            SetErrorMode(oldProcessMode_ | SEM_FAILCRITICALERRORS);
        }
    }
    ~NoDriveErrorBoxes() {
        if (setThreadMode_) {
            if (threadModeSet_)
                setThreadMode_(oldThreadMode_, nullptr);
        } else {
            SetErrorMode(oldProcessMode_);
        }
    }
    NoDriveErrorBoxes(const NoDriveErrorBoxes&) = delete;
    NoDriveErrorBoxes& operator=(const NoDriveErrorBoxes&) = delete;

  private:
    using SetThreadModeFn = BOOL(WINAPI*)(DWORD, LPDWORD);
    SetThreadModeFn setThreadMode_ = nullptr;
    BOOL threadModeSet_ = FALSE;
    DWORD oldThreadMode_ = 0;
    UINT oldProcessMode_ = 0;
};
} // namespace

void ShowSystemError(unsigned long code) {
    char systemText[kSystemTextSize] = "";
    if (FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, systemText, sizeof systemText,
                       nullptr) == 0)
        systemText[0] = '\0'; // a failed call may leave part of a text behind
    systemText[sizeof systemText - 1] = '\0';
    // Room for the sentence and the longest text the system buffer can hold,
    // so neither is ever cut.
    char text[sizeof kSystemErrorIntro + kSystemTextSize];
    std::snprintf(text, sizeof text, "%s%s", kSystemErrorIntro, systemText);
    MessageBoxA(nullptr, text, "Critical Error!", MB_ICONERROR);
}

void ShowNumberBox(int number, const char* caption) {
    char text[16];
    wsprintfA(text, "%d", number);
    MessageBoxA(nullptr, text, caption, MB_OK);
}

int AppendErrorLog() {
    // Text mode: every "\n" below reaches the disk as CR LF, so "\r\n" gives
    // CR CR LF. Readers of the log expect exactly that.
    // F: may be an empty card reader or disc drive: without this the open
    // could stop the install on the system's "no disk" box.
    FILE* log = nullptr;
    {
        NoDriveErrorBoxes quiet;
        log = std::fopen(SONABELL_ERROR_LOG_PATH, "a+");
    }
    if (!log)
        return -2;
    std::string text = "\n\n";
    text += soundTable.countText;
    while (text.size() < 3)
        text += ' ';
    text += "\r\n";
    const int count = soundTable.count;
    for (int i = 0; i < count && i < kTableCapacity; ++i) {
        // A record being filled by an install may lack texts; an empty slot
        // below count has none at all. Both log empty fields.
        const SoundRecord* record = soundTable.slots[i];
        char number[16];
        wsprintfA(number, "%d", i);
        text += number;
        text += '\x01';
        text += TextOrEmpty(record ? record->indexText : nullptr);
        text += '\x01';
        text += TextOrEmpty(record ? record->command : nullptr);
        text += '\x01';
        text += TextOrEmpty(record ? record->filename : nullptr);
        text += '\x01';
        text += TextOrEmpty(record ? record->message : nullptr);
        text += "\r\n";
    }
    std::fwrite(text.data(), 1, text.size(), log);
    std::fclose(log);
    return 0;
}

void ShowDatabaseDump(int slot) {
    // Each box runs a message loop in which a chat command may reload the
    // table: read the count and the slot afresh every time, and hold no
    // record across a box.
    for (int i = 0; i < soundTable.count && i < kTableCapacity; ++i) {
        char number[16];
        wsprintfA(number, "%d", i + 1);
        const SoundRecord* record = soundTable.slots[i];
        if (!record) {
            MessageBoxA(nullptr, number, "Dead pointer alert", MB_OK);
            continue;
        }
        if (slot >= 0 && slot != i)
            continue;
        std::string text = number;
        for (const char* field :
             {record->indexText, record->command, record->filename, record->message}) {
            text += '\n';
            text += TextOrEmpty(field);
        }
        MessageBoxA(nullptr, text.c_str(), "Database in memory", MB_OK);
    }
}

// The plug-in bench: what users wait for, measured through the plug-in's own
// code with the real engine (silent output). Prints its rows of the bench
// table, each a median.
//   sonabell-plugin-bench <media folder> <DLL size in bytes>
#include "audio/player.h"
#include "database/registry_store.h"
#include "database/settings.h"
#include "database/sound_table.h"
#include "host/host_contract.h"
#include "host/plugin.h"
#include "host/protocol.h"
#include "soundpack/pack_check.h"
#include "soundpack/pack_save.h"
#include "soundpack/soundpack.h"
#include "tools/bench/bench_common.h"
#include "ui/dialogs.h"
#include "ui/resource.h"

#include <windows.h>

#include <commctrl.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

// Median milliseconds of runs of work; setup runs before each, untimed.
double Median(
    int runs, const std::function<void()>& work, const std::function<void()>& setup = [] {}) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        setup();
        double start = NowMs();
        work();
        times.push_back(NowMs() - start);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void ResetDatabase() {
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\tinderwick_ software");
    ClearSoundTable();
}

void FillRegistry(int sounds) {
    ResetDatabase();
    for (int i = 1; i <= sounds; ++i) {
        std::string index = std::to_string(i);
        AddSound(index.c_str(), ("sound" + index).c_str(), ("\\sound" + index + ".mp3").c_str(),
                 "A default message of ordinary length");
    }
}

// Sounds pack1<ext>, pack2<ext>, ...
std::string WritePack(const std::string& folder, int sounds, const std::string& ext = ".mp3") {
    std::string path = folder + "\\bench-pack-" + std::to_string(sounds) + ".ini";
    std::string text = "[Header]\r\nTotalSounds=" + std::to_string(sounds) + "\r\n";
    for (int i = 1; i <= sounds; ++i) {
        std::string n = std::to_string(i);
        text += "[Sound" + n + "]\r\nSoundIndex=" + n + "\r\nCommand=pack" + n +
                "\r\nFilename=pack" + n + ext + "\r\nMessage=From the bench pack\r\n";
    }
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return path;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: sonabell-plugin-bench <media folder> <DLL size>\n");
        return 2;
    }
    const std::string media = argv[1];
    const long dllSize = std::atol(argv[2]);
    moduleHandle = GetModuleHandleA(nullptr);
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_LISTVIEW_CLASSES | ICC_USEREX_CLASSES};
    InitCommonControlsEx(&classes);
    SetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", "silent");

    // The host's plug-in folder is the media folder; its Sonabell\ sub-folder
    // gets copies of the clips.
    HKEY host;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Kestrune\\MsgPlus2", 0, nullptr, 0,
                    KEY_SET_VALUE, nullptr, &host, nullptr);
    RegSetValueExA(host, "PluginDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(media.c_str()),
                   static_cast<DWORD>(media.size() + 1));
    RegCloseKey(host);

    for (int sounds : {0, 100, 999}) {
        FillRegistry(sounds);
        double ms = Median(
            7, [] { Initialize(0, 0, 0); }, [] { Uninitialize(); });
        Uninitialize();
        std::string label = "Initialize with " + std::to_string(sounds) + " sounds";
        BenchRow(kPlaceInitialize + sounds / 100, label.c_str(), ms, "ms");
    }

    // 999 sounds loaded: the command search walks the whole table for the last one.
    FillRegistry(999);
    Initialize(0, 0, 0);
    soundsEnabled = true;
    char result[kResultCapacity];
    const int calls = 20000;
    double ms = Median(5, [&] {
        for (int i = 0; i < calls; ++i)
            ParseCommand("/xSBsound999", "", 0, result);
    });
    BenchRow(kPlaceParseCommand, "ParseCommand, sound-command form, 999 sounds, per call",
             ms * 1000.0 / calls, "us");
    ms = Median(5, [&] {
        for (int i = 0; i < calls; ++i)
            ParseCommand("/x123", "hello", 0, result);
    });
    BenchRow(kPlaceParseCommand + 1, "ParseCommand, raw-index form, per call", ms * 1000.0 / calls,
             "us");
    Uninitialize();

    // A received sound, from the notification code to a started stream.
    ResetDatabase();
    Initialize(0, 0, 0);
    soundsEnabled = true;
    struct {
        const char* label;
        const char* index;
        const char* file;
    } formats[] = {
        {"ReceiveNotify, resolve + open + start, MP3", "901", "clip.mp3"},
        {"ReceiveNotify, resolve + open + start, OGG", "902", "clip.ogg"},
        {"ReceiveNotify, resolve + open + start, WAV", "903", "clip.wav"},
        {"ReceiveNotify, resolve + open + start, WMA", "904", "fmt-wma2-1000-1500.wma"},
        {"ReceiveNotify, resolve + open + start, M4A", "905", "fmt-m4a44-1000-1500.m4a"},
        {"ReceiveNotify, resolve + open + start, AIFF", "906", "fmt-aiff-1000-1000.aiff"},
        {"ReceiveNotify, resolve + open + start, Opus", "907", "fmt-opusmusic-1000-1500.opus"}};
    CreateDirectoryA((media + "\\Sonabell").c_str(), nullptr);
    for (const auto& format : formats)
        CopyFileA((media + "\\" + format.file).c_str(),
                  (media + "\\Sonabell\\" + format.file).c_str(), FALSE);
    int place = kPlaceReceiveNotify;
    for (const auto& format : formats) {
        AddSound(format.index, "bench", format.file, "");
        LoadSounds();
        std::string code = std::string("SB") + format.index;
        // Under Wine the system codecs' first open in a process also starts
        // GStreamer (a second or more): once, untimed, and waited for.
        char warm[kResultCapacity];
        ReceiveNotify(code.c_str(), 0, 0, warm);
        Sleep(1500);
        bool ok = true;
        ms = Median(9, [&] {
            char answer[kResultCapacity];
            ReceiveNotify(code.c_str(), 0, 0, answer);
            ok = ok && answer[0] == '\0';
        });
        BenchRow(place++, format.label, ms, ok ? "ms" : "ms!");
    }

    // Letting sounds finish: each timed sound joins the line behind one that
    // plays, after the ended ones are closed.
    letSoundsFinish = true;
    bool queued = true;
    ms = Median(
        9,
        [&] {
            char answer[kResultCapacity];
            ReceiveNotify("SB903", 0, 0, answer);
            queued = queued && answer[0] == '\0';
        },
        [] {
            CloseAllStreams();
            char answer[kResultCapacity];
            ReceiveNotify("SB903", 0, 0, answer);
        });
    BenchRow(place++, "ReceiveNotify, let finish on: resolve + open + queue, WAV", ms,
             queued ? "ms" : "ms!");
    letSoundsFinish = false;
    CloseAllStreams();

    // A flood beyond the limit: what each sound held back costs the host.
    soundsPerMinute = 1;
    toastsEnabled = false;
    ForgetReceivedSounds();
    char answer[kResultCapacity];
    ReceiveNotify("SB903", 0, 0, answer);
    const int floodCalls = 20000;
    ms = Median(5, [&] {
        for (int i = 0; i < floodCalls; ++i)
            ReceiveNotify("SB903", 0, 0, answer);
    });
    BenchRow(place++, "ReceiveNotify, a sound held back by the flood limit, per call",
             ms * 1000.0 / floodCalls, "us");
    soundsPerMinute = 0;
    Uninitialize();

    // The panel is rebuilt after every change: its opening with a full table.
    FillRegistry(999);
    LoadSounds();
    ms = Median(7, [] {
        HWND panel = CreateDialogParamA(moduleHandle, MAKEINTRESOURCEA(IDD_CONFIG_PANEL), nullptr,
                                        ConfigPanelProc, 0);
        UpdateWindow(panel);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        DestroyWindow(panel);
    });
    BenchRow(kPlacePanel, "configuration panel opening with 999 sounds", ms, "ms");

    // A soundpack of a whole database's worth of sounds, in and out.
    std::string pack = WritePack(media, 999);
    ms = Median(
        3, [&] { InstallSoundpack(pack.c_str()); }, [] { ResetDatabase(); });
    BenchRow(kPlaceSoundpack, "soundpack install, 999 sounds", ms, "ms");
    ms = Median(
        3, [&] { UninstallSoundpack(pack.c_str()); },
        [&] {
            ResetDatabase();
            InstallSoundpack(pack.c_str());
        });
    BenchRow(kPlaceSoundpack + 1, "soundpack uninstall, 999 sounds", ms, "ms");
    // The pack maker's tools on the same pack: every file present, an MP3
    // clip each, opened by the engine; then the database saved, files and all.
    const std::string folder = media + "\\Sonabell\\";
    for (int i = 1; i <= 999; ++i) {
        const std::string n = std::to_string(i);
        CopyFileA((media + "\\clip.mp3").c_str(), (folder + "pack" + n + ".mp3").c_str(), FALSE);
        CopyFileA((media + "\\clip.mp3").c_str(), (folder + "sound" + n + ".mp3").c_str(), FALSE);
    }
    ResetDatabase();
    const PackCheckWorld world = CurrentPackCheckWorld();
    int opened = 0;
    // The median of three checks of a pack; opened counts its sounds that
    // would install, every file opened.
    auto timeCheck = [&](const std::string& packPath) {
        return Median(3, [&] {
            opened = 0;
            CheckSoundpack(
                packPath.c_str(), world,
                [](const PackCheckRow& row, void* count) {
                    *static_cast<int*>(count) += row.verdict == kVerdictInstall;
                    return true;
                },
                &opened);
        });
    };
    ms = timeCheck(pack);
    BenchRow(kPlaceSoundpack + 2, "soundpack check, 999 sounds, MP3 files opened", ms,
             opened == 999 ? "ms" : "ms!");
    // Files that open through Windows' codecs cost more: 100 WMA files, once
    // a first open has loaded the codecs, as a user's first such sound does.
    for (int i = 1; i <= 100; ++i)
        CopyFileA((media + "\\fmt-wma2-1000-1500.wma").c_str(),
                  (folder + "pack" + std::to_string(i) + ".wma").c_str(), FALSE);
    const std::string wmaPack = WritePack(media, 100, ".wma");
    for (int tries = 0; tries < 20; ++tries) {
        if (FSOUND_STREAM* s = FSOUND_Stream_OpenFile((folder + "pack1.wma").c_str(), 0, 0)) {
            FSOUND_Stream_Close(s);
            break;
        }
        Sleep(500);
    }
    ms = timeCheck(wmaPack);
    BenchRow(kPlaceSoundpack + 3, "soundpack check, 100 WMA files opened", ms,
             opened == 100 ? "ms" : "ms!");
    for (int i = 1; i <= 100; ++i)
        DeleteFileA((folder + "pack" + std::to_string(i) + ".wma").c_str());
    DeleteFileA(wmaPack.c_str());
    FillRegistry(999);
    LoadSounds();
    const std::string saved = media + "\\saved";
    CreateDirectoryA(saved.c_str(), nullptr);
    PackSaveOutcome outcome = {};
    ms = Median(3, [&] { SaveSoundpack((saved + "\\pack.ini").c_str(), folder, &outcome); });
    BenchRow(kPlaceSoundpack + 4, "save as pack, 999 sounds, files copied", ms,
             outcome.saved == 999 && outcome.problems.empty() ? "ms" : "ms!");
    for (int i = 1; i <= 999; ++i) {
        const std::string n = std::to_string(i);
        DeleteFileA((folder + "pack" + n + ".mp3").c_str());
        DeleteFileA((folder + "sound" + n + ".mp3").c_str());
        DeleteFileA((saved + "\\sound" + n + ".mp3").c_str());
    }
    DeleteFileA((saved + "\\pack.ini").c_str());
    RemoveDirectoryA(saved.c_str());

    ResetDatabase();
    DeleteFileA(pack.c_str());
    SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Kestrune");

    BenchRow(kPlaceDllSize, "Sonabell.dll, the 32-bit product",
             static_cast<double>(dllSize) / 1024.0, "KiB");
    return 0;
}

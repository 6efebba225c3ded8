// The device lane's bench: the built DLL as the host loads it, through each
// of Wine's outputs into the lane's PulseAudio null sink. For each output,
// the median time from the ReceiveNotify call to the sound's first sample
// at the sink, the same for a sound after the stream went idle, and what a
// 3 s tone lost on the way. Prints its rows of the bench table.
//   sonabell-device-bench <media folder> <Sonabell.dll>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "host/entry_points.h"
#include "tests/device/lane.h"
#include "tools/bench/bench_common.h"

namespace {

constexpr int kBlips = 8;
// Sounds after the stream went idle (10 s without one): each waits it out.
constexpr int kColdBlips = 3;
constexpr DWORD kIdleWaitMs = 11000;
const char kSettingsKey[] = "Software\\tinderwick_ software\\Sonabell";

struct Figures {
    Spread warm;
    int gaps = -1;
    double gapMs = 0;
    double coldMs = -1; // median of kColdBlips
};

void WriteAll(const std::string& path, const std::string& bytes) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

// A throw-away plug-in folder named by the host's PluginDir, holding the
// blip (sound 1) and the tone (sound 2).
std::string PreparePluginDir(const std::string& media) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string dir = std::string(temp) + "sb-device-bench";
    CreateDirectoryA(dir.c_str(), nullptr);
    CreateDirectoryA((dir + "\\Sonabell").c_str(), nullptr);
    WriteAll(dir + "\\Sonabell\\1.mp3", lane::FileBytes(media + "\\short-2000.mp3"));
    WriteAll(dir + "\\Sonabell\\2.mp3", lane::FileBytes(media + "\\tone-1k.mp3"));
    HKEY key;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Kestrune\\MsgPlus2", 0, nullptr, 0,
                    KEY_SET_VALUE, nullptr, &key, nullptr);
    RegSetValueExA(key, "PluginDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(dir.c_str()),
                   static_cast<DWORD>(dir.size() + 1));
    RegCloseKey(key);
    // Sounds switched on, toasts off.
    RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                    nullptr);
    const BYTE on = 1, off = 0;
    RegSetValueExA(key, "SoundsEnabled", 0, REG_BINARY, &on, 1);
    RegSetValueExA(key, "ToastsEnabled", 0, REG_BINARY, &off, 1);
    RegCloseKey(key);
    return dir;
}

void CleanUp(const std::string& dir) {
    DeleteFileA((dir + "\\Sonabell\\1.mp3").c_str());
    DeleteFileA((dir + "\\Sonabell\\2.mp3").c_str());
    RemoveDirectoryA((dir + "\\Sonabell").c_str());
    RemoveDirectoryA(dir.c_str());
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, "SoundsEnabled");
        RegDeleteValueA(key, "ToastsEnabled");
        RegCloseKey(key);
    }
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Kestrune\\MsgPlus2", 0, KEY_SET_VALUE, &key) ==
        ERROR_SUCCESS) {
        RegDeleteValueA(key, "PluginDir");
        RegCloseKey(key);
    }
}

// output "": no override, the outputs tried in turn as the plug-in asks.
Figures Measure(const char* output, const char* dllPath) {
    Figures figures;
    SetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", *output ? output : nullptr);
    HMODULE module = LoadLibraryA(dllPath);
    entry_points::Table dll;
    if (!module || !entry_points::Resolve(module, dll).empty()) {
        std::fprintf(stderr, "cannot load %s\n", dllPath);
        return figures;
    }
    if (!dll.Initialize(0, 0, 0)) {
        std::fprintf(stderr, "%s: Initialize failed\n", output);
        FreeLibrary(module);
        return figures;
    }
    // A host initialises the plug-in long before the first sound arrives.
    Sleep(2000);
    lane::Monitor monitor;
    char result[1024];
    // ms from the call to the blip's first sample at the sink, when heard.
    auto blip = [&](std::vector<double>& delays) {
        lane::Arrival a = lane::Listen(monitor, 1000, [&] {
            dll.ReceiveNotify("SB1", 0, 0, result);
            return result[0] == '\0';
        });
        if (a.delayMs >= 0)
            delays.push_back(a.delayMs);
    };
    std::vector<double> delays;
    for (int i = 0; i < kBlips; ++i) {
        blip(delays);
        // The 0.5 s blip has ended, however late it started, before the next.
        Sleep(600);
    }
    figures.warm = SpreadOf(delays);
    LogTimings(*output ? output : "default output", delays);
    lane::Arrival tone = lane::Listen(monitor, 4000, [&] {
        dll.ReceiveNotify("SB2", 0, 0, result);
        return true;
    });
    if (tone.heard) {
        figures.gaps = tone.gaps.count;
        figures.gapMs = tone.gaps.totalMs;
    }
    std::vector<double> cold;
    for (int i = 0; i < kColdBlips; ++i) {
        Sleep(kIdleWaitMs);
        blip(cold);
    }
    figures.coldMs = SpreadOf(cold).median;
    dll.Uninitialize();
    FreeLibrary(module);
    SetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", nullptr);
    return figures;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(
            stderr,
            "usage: sonabell-device-bench <media folder> <Sonabell.dll> [xp | wasapi | dsound | "
            "winmm]\n");
        return 2;
    }
    if (!lane::Monitor().available()) {
        std::fprintf(stderr, "no recording of the lane's sink: is the pulse world running?\n");
        return 1;
    }
    std::string dir = PreparePluginDir(argv[1]);
    struct Row {
        const char* output;
        const char* name;
    };
    const Row outputs[] = {{"wasapi", "WASAPI"}, {"dsound", "DirectSound"}, {"winmm", "WinMM"}};
    // Run under a Windows version older than Vista: no WASAPI, so the
    // engine falls back to DirectSound as an XP machine does.
    const Row asXp[] = {{"", "DirectSound reached as on XP"}};
    // One output alone, for runs interleaved with the bare program's.
    std::string only = argc > 3 ? argv[3] : "";
    bool xp = only == "xp";
    int place = kPlaceDevice + (xp ? 6 : 0);
    const Row* rows = xp ? asXp : outputs;
    size_t count = xp ? 1 : sizeof outputs / sizeof outputs[0];
    for (size_t i = 0; i < count; ++i) {
        const Row& o = rows[i];
        if (!xp && !only.empty() && only != o.output) {
            place += 2;
            continue;
        }
        Figures f = Measure(o.output, argv[2]);
        char label[96];
        // One place for the three, which then read fastest, median, slowest.
        const struct {
            const char* which;
            double ms;
        } figures[] = {{"fastest", f.warm.min}, {"median", f.warm.median}, {"slowest", f.warm.max}};
        for (const auto& figure : figures) {
            std::snprintf(label, sizeof label, "%s: ReceiveNotify to the sink, %s of %d", o.name,
                          figure.which, kBlips);
            BenchRow(place, label, figure.ms, "ms");
        }
        std::snprintf(label, sizeof label, "  cold after idle, %s: median of %d", o.name,
                      kColdBlips);
        BenchRow(place + 1, label, f.coldMs, "ms");
        std::snprintf(label, sizeof label, "  gaps in a 3 s tone as heard, %s", o.name);
        BenchRow(place + 1, label, f.gaps, f.gaps > 0 ? "!" : "");
        place += 2;
        std::fprintf(stderr, "%s: %d gaps, %.1f ms in all\n", o.name, f.gaps, f.gapMs);
    }
    CleanUp(dir);
    return 0;
}

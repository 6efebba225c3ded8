// Whose is the memory a process keeps after playing WMA or M4A files under
// Wine? This program plays a file to its end through the system's codecs
// alone, none of the engine's code in between, as often as asked, and prints
// how the process's private bytes and handles moved over those plays.
//   sonabell-codec-growth wm|mf FILE [PLAYS]
#include <initguid.h>

#include <windows.h>

#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <psapi.h>
#include <wmsdkidl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

typedef HRESULT(WINAPI* CreateSyncReaderFn)(IUnknown*, DWORD, IWMSyncReader**);
CreateSyncReaderFn createSyncReader = nullptr;

// Every sample of the file's first audio output, then everything let go.
bool PlayWm(const wchar_t* path) {
    IWMSyncReader* reader = nullptr;
    if (FAILED(createSyncReader(nullptr, 0, &reader)) || !reader)
        return false;
    bool ok = SUCCEEDED(reader->Open(path));
    WORD stream = 0;
    ok = ok && SUCCEEDED(reader->GetStreamNumberForOutput(0, &stream));
    for (INSSBuffer* sample = nullptr; ok;) {
        QWORD time = 0, duration = 0;
        DWORD flags = 0, output = 0;
        WORD from = 0;
        if (FAILED(
                reader->GetNextSample(stream, &sample, &time, &duration, &flags, &output, &from)) ||
            !sample)
            break;
        sample->Release();
    }
    reader->Close();
    reader->Release();
    return ok;
}

bool PlayMf(const wchar_t* path) {
    IMFSourceReader* reader = nullptr;
    if (FAILED(MFCreateSourceReaderFromURL(path, nullptr, &reader)) || !reader)
        return false;
    const DWORD audio = static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM);
    IMFMediaType* pcm = nullptr;
    bool ok = SUCCEEDED(MFCreateMediaType(&pcm)) &&
              SUCCEEDED(pcm->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio)) &&
              SUCCEEDED(pcm->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_Float)) &&
              SUCCEEDED(reader->SetCurrentMediaType(audio, nullptr, pcm));
    if (pcm)
        pcm->Release();
    for (DWORD flags = 0; ok && !(flags & MF_SOURCE_READERF_ENDOFSTREAM);) {
        IMFSample* sample = nullptr;
        DWORD index = 0;
        LONGLONG time = 0;
        if (FAILED(reader->ReadSample(audio, 0, &index, &flags, &time, &sample)))
            break;
        if (sample)
            sample->Release();
    }
    reader->Release();
    return ok;
}

struct Counts {
    SIZE_T privateBytes;
    DWORD handles;
};

// Wine leaves PrivateUsage and the handle count 0: the commit charge is the
// same figure, and open handles are counted one value at a time.
Counts Now() {
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                         sizeof memory);
    DWORD handles = 0;
    if (!GetProcessHandleCount(GetCurrentProcess(), &handles) || handles == 0) {
        DWORD flags = 0;
        for (UINT_PTR value = 4; value <= 65536; value += 4)
            handles += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    }
    return {memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage, handles};
}

} // namespace

int main(int argc, char** argv) {
    const bool wm = argc >= 3 && std::strcmp(argv[1], "wm") == 0;
    if (argc < 3 || (!wm && std::strcmp(argv[1], "mf") != 0)) {
        std::fputs("usage: sonabell-codec-growth wm|mf FILE [PLAYS]\n", stderr);
        return 64;
    }
    const int plays = argc > 3 ? std::atoi(argv[3]) : 100;
    wchar_t path[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, argv[2], -1, path, MAX_PATH);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (wm) {
        HMODULE runtime = LoadLibraryA("wmvcore.dll");
        createSyncReader = runtime ? reinterpret_cast<CreateSyncReaderFn>(reinterpret_cast<void*>(
                                         GetProcAddress(runtime, "WMCreateSyncReader")))
                                   : nullptr;
        if (!createSyncReader) {
            std::fputs("no Windows Media Format runtime\n", stderr);
            return 2;
        }
    } else if (FAILED(MFStartup(MF_VERSION, MFSTARTUP_LITE))) {
        std::fputs("no Media Foundation\n", stderr);
        return 2;
    }
    auto play = [&] { return wm ? PlayWm(path) : PlayMf(path); };
    // A warm-up, as the engine's test has: what loading the codecs costs once.
    for (int i = 0; i < 10; ++i) {
        if (!play()) {
            std::fputs("the file does not play\n", stderr);
            return 2;
        }
    }
    const Counts before = Now();
    for (int i = 0; i < plays; ++i)
        play();
    const Counts after = Now();
    std::printf(
        "%s, %d plays: private bytes %+.0f KiB, handles %+ld\n", wm ? "wmvcore" : "mfplat", plays,
        (static_cast<double>(after.privateBytes) - static_cast<double>(before.privateBytes)) / 1024,
        static_cast<long>(after.handles) - static_cast<long>(before.handles));
    if (!wm)
        MFShutdown();
    CoUninitialize();
    return 0;
}

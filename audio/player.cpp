#include "audio/player.h"

#include "audio/engine_controls.h"
#include "database/settings.h"
#include "database/sound_table.h"

#include <windows.h>

#include <cstdio>
#include <vector>

FSOUND_STREAM* currentStream = nullptr;
bool audioReady = false;

namespace {
// Streams opened before currentStream and still open, oldest first: while
// sounds are let finish, the one heard and the ones waiting behind it. Empty
// whenever each sound replaces the one before.
std::vector<FSOUND_STREAM*> earlierStreams;

void CloseEarlierStreams() {
    while (!earlierStreams.empty()) {
        FSOUND_Stream_Close(earlierStreams.back());
        earlierStreams.pop_back();
    }
}

// Closes the streams that are neither heard nor waiting any more, so the
// line holds only what is still to be heard.
void CloseEndedStreams() {
    if (currentStream && !SbEngineStreamPending(currentStream)) {
        FSOUND_Stream_Close(currentStream);
        currentStream = nullptr;
    }
    size_t kept = 0;
    for (FSOUND_STREAM* stream : earlierStreams) {
        if (SbEngineStreamPending(stream))
            earlierStreams[kept++] = stream;
        else
            FSOUND_Stream_Close(stream);
    }
    earlierStreams.resize(kept);
    if (!currentStream && !earlierStreams.empty()) {
        currentStream = earlierStreams.back();
        earlierStreams.pop_back();
    }
}

// Where the host keeps its plug-in directory.
const char kHostKey[] = "software\\Kestrune\\MsgPlus2";
const char kSoundFolder[] = "\\Sonabell\\";

// The value's text up to its first zero. Read in two steps, so the buffer is
// exactly as large as the registry says the value is and ends in a zero
// whatever was stored. False when the value is missing or not a string.
bool ReadPluginDirValue(std::string& dir) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kHostKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    bool read = false;
    // A value that grows between the two reads is read again.
    for (int attempt = 0; attempt < 3 && !read; ++attempt) {
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExA(key, "PluginDir", nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
            break;
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            break;
        std::vector<char> bytes(static_cast<size_t>(size) + 1, '\0');
        DWORD got = size;
        LONG status = RegQueryValueExA(key, "PluginDir", nullptr, &type,
                                       reinterpret_cast<BYTE*>(bytes.data()), &got);
        if (status == ERROR_MORE_DATA)
            continue;
        if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
            break;
        bytes[got < size ? got : size] = '\0';
        dir.assign(bytes.data());
        read = true;
    }
    RegCloseKey(key);
    return read;
}

// The module this code was linked into: the plug-in's DLL.
HMODULE OwnModule() {
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&OwnModule), &module);
    return module;
}

// The folder the plug-in's own DLL was loaded from, without its last
// backslash.
std::string ModuleFolder() {
    std::vector<char> name(MAX_PATH);
    for (;;) {
        DWORD length =
            GetModuleFileNameA(OwnModule(), name.data(), static_cast<DWORD>(name.size()));
        if (length == 0)
            return std::string();
        if (length < name.size() || name.size() >= 32768) {
            std::string path(name.data(), length);
            size_t slash = path.find_last_of("\\/");
            return slash == std::string::npos ? std::string() : path.substr(0, slash);
        }
        name.resize(name.size() * 2);
    }
}

// The host's PluginDir when it names a directory; otherwise the folder this
// DLL lives in, so a host that never wrote the value still finds the sounds
// installed beside the plug-in.
std::string PluginDirectory() {
    std::string dir;
    if (ReadPluginDirValue(dir) && !dir.empty())
        return dir;
    return ModuleFolder();
}
} // namespace

void StartAudioEngine() {
    FSOUND_SetOutput(FSOUND_OUTPUT_WINMM);
    FSOUND_SetDriver(0);
    FSOUND_Init(40100, 32, FSOUND_INIT_GLOBALFOCUS);
}

std::string SoundFolder() {
    return PluginDirectory() + kSoundFolder;
}

std::string ResolveSoundPath(const char* indexDigits) {
    std::string path = SoundFolder();
    for (int slot = 0; slot < soundTable.count; ++slot) {
        const SoundRecord* record = soundTable.slots[slot];
        if (record && record->indexText && lstrcmpiA(record->indexText, indexDigits) == 0) {
            path += TextOrEmpty(record->filename);
            return path;
        }
    }
    path += indexDigits;
    path += ".mp3";
    return path;
}

bool SoundFileExists(const std::string& path) {
    // A path the system cannot take is a file nobody can have installed.
    if (path.size() > MAX_PATH - 1)
        return false;
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file)
        return false;
    std::fclose(file);
    return true;
}

int OpenSoundStream(const std::string& path, bool playNow) {
    if (currentStream)
        FSOUND_Stream_Close(currentStream);
    CloseEarlierStreams();
    currentStream = FSOUND_Stream_OpenFile(path.c_str(), 0, 0);
    if (!currentStream)
        return kPlayNotOpened;
    if (playNow && FSOUND_Stream_Play(FSOUND_FREE, currentStream) == 0)
        return kPlayNotStarted;
    return kPlayDone;
}

int QueueSoundStream(const std::string& path, bool playNow) {
    CloseEndedStreams();
    if (!playNow) {
        FSOUND_STREAM* unheard = FSOUND_Stream_OpenFile(path.c_str(), 0, 0);
        if (!unheard)
            return kPlayNotOpened;
        FSOUND_Stream_Close(unheard);
        return kPlayDone;
    }
    // One heard and the line full: the file is not even opened.
    const size_t pending = earlierStreams.size() + (currentStream ? 1 : 0);
    if (pending > static_cast<size_t>(kMostWaitingSounds))
        return kPlayLineFull;
    FSOUND_STREAM* stream = FSOUND_Stream_OpenFile(path.c_str(), 0, 0);
    if (!stream)
        return kPlayNotOpened;
    switch (SbEngineQueueStream(stream, kMostWaitingSounds)) {
    case kSbQueuePlaying:
    case kSbQueueWaiting:
        if (currentStream)
            earlierStreams.push_back(currentStream);
        currentStream = stream;
        return kPlayDone;
    case kSbQueueFull:
        FSOUND_Stream_Close(stream);
        return kPlayLineFull;
    default:
        // Never to be heard: nothing is gained by holding it open.
        FSOUND_Stream_Close(stream);
        return kPlayNotStarted;
    }
}

void CloseAllStreams() {
    if (currentStream)
        FSOUND_Stream_Close(currentStream);
    // The handle is dead now; a later Initialize must not close it again.
    currentStream = nullptr;
    CloseEarlierStreams();
}

int PlaySoundByIndex(int index, bool force) {
    char indexDigits[16];
    std::snprintf(indexDigits, sizeof indexDigits, "%d", index);
    std::string path = ResolveSoundPath(indexDigits);
    if (!SoundFileExists(path))
        return kPlayMissingFile;
    // Initialize started the engine already; the panel's first play runs the
    // start calls once more all the same.
    if (!audioReady) {
        StartAudioEngine();
        audioReady = true;
    }
    return OpenSoundStream(path, soundsEnabled || force);
}

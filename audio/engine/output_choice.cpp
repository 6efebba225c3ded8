#include "audio/engine/output_choice.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "audio/engine/dsound_output.h"
#include "audio/engine/run_once.h"
#include "audio/engine/winmm_output.h"
#include "audio/fsound.h"

namespace {

volatile LONG onceState = 0;
CRITICAL_SECTION lock; // briefly, around the values below

int outputType = FSOUND_OUTPUT_WINMM;
int driverIndex = 0;
char lastError[160] = "";
SbChoice failedChoice;
DWORD failedAt = 0;

void InitOnce() {
    InitializeCriticalSection(&lock);
}

void EnsureInit() {
    SbRunOnce(&onceState, InitOnce);
}

// SONABELL_AUDIO_OUTPUT: "silent", "capture:<WAV path>", "wasapi", "dsound",
// "winmm" (and "script" in the test build). False when unset or not one of
// these: unknown values are ignored rather than guessed at.
bool ReadOverride(SbChoice& choice) {
    char v[300];
    DWORD got = GetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", v, sizeof v);
    if (got == 0 || got >= sizeof v)
        return false;
    const SbOutputOps* const named[] = {&kSbWasapiOutput, &kSbDirectSoundOutput, &kSbWinmmOutput,
#ifdef SONABELL_SCRIPTED_OUTPUT
                                        &kSbScriptedOutput,
#endif
                                        &kSbNullOutput};
    for (const SbOutputOps* ops : named) {
        if (std::strcmp(v, ops->name) == 0) {
            choice.outputs[0] = ops;
            choice.count = 1;
            choice.silent = ops == &kSbNullOutput;
            return true;
        }
    }
    if (std::strncmp(v, "capture:", 8) == 0 && v[8] != '\0') {
        choice.outputs[0] = &kSbNullOutput;
        choice.count = 1;
        choice.silent = true;
        std::snprintf(choice.capturePath, sizeof choice.capturePath, "%s", v + 8);
        return true;
    }
    return false;
}

} // namespace

void SbChoiceSetType(int type) {
    EnsureInit();
    EnterCriticalSection(&lock);
    outputType = type;
    LeaveCriticalSection(&lock);
}

void SbChoiceSetDriver(int driver) {
    EnsureInit();
    EnterCriticalSection(&lock);
    driverIndex = driver;
    LeaveCriticalSection(&lock);
}

// Output 0 is silent; 1 tries the system's outputs from the newest to the
// oldest, 2 puts DirectSound first.
SbChoice SbChoiceNow() {
    EnsureInit();
    SbChoice choice;
    EnterCriticalSection(&lock);
    int type = outputType;
    choice.driverIndex = driverIndex;
    LeaveCriticalSection(&lock);
    if (ReadOverride(choice)) {
        choice.driverIndex = 0;
    } else if (type == FSOUND_OUTPUT_NOSOUND) {
        choice.outputs[0] = &kSbNullOutput;
        choice.count = 1;
        choice.silent = true;
    } else {
        bool dsoundFirst = type == FSOUND_OUTPUT_DSOUND;
        choice.outputs[0] = dsoundFirst ? &kSbDirectSoundOutput : &kSbWasapiOutput;
        choice.outputs[1] = dsoundFirst ? &kSbWasapiOutput : &kSbDirectSoundOutput;
        choice.outputs[2] = &kSbWinmmOutput;
        choice.count = 3;
    }
    return choice;
}

bool SbChoiceSame(const SbChoice& a, const SbChoice& b) {
    if (a.count != b.count || a.driverIndex != b.driverIndex ||
        std::strcmp(a.capturePath, b.capturePath) != 0)
        return false;
    for (int i = 0; i < a.count; ++i)
        if (a.outputs[i] != b.outputs[i])
            return false;
    return true;
}

bool SbChoiceFollowsDefault(const SbChoice& choice) {
    return !choice.silent && choice.driverIndex == 0;
}

void SbChoiceNoteFailed(const SbChoice& choice) {
    EnsureInit();
    EnterCriticalSection(&lock);
    failedChoice = choice;
    failedAt = GetTickCount();
    LeaveCriticalSection(&lock);
}

bool SbChoiceFailedJustNow(const SbChoice& choice, unsigned long withinMs) {
    EnsureInit();
    EnterCriticalSection(&lock);
    bool failed = failedChoice.count > 0 && SbChoiceSame(choice, failedChoice) &&
                  GetTickCount() - failedAt < withinMs;
    LeaveCriticalSection(&lock);
    return failed;
}

void SbChoiceSetError(const char* text) {
    EnsureInit();
    EnterCriticalSection(&lock);
    std::snprintf(lastError, sizeof lastError, "%s", text);
    LeaveCriticalSection(&lock);
}

void SbChoiceLastError(char* text, size_t size) {
    EnsureInit();
    if (!text || size == 0)
        return;
    EnterCriticalSection(&lock);
    std::snprintf(text, size, "%s", lastError);
    LeaveCriticalSection(&lock);
}

// The engine's own outputs in the outputs' shape.
const SbOutputOps kSbDirectSoundOutput = {
    "dsound",
    [](int d, unsigned r, SbRender f, void* u, char* e, size_t n) -> void* {
        return SbDsOpen(d, r, f, u, e, n);
    },
    [](void* o) { return SbDsFailed(static_cast<SbDsOutput*>(o)); },
    [](void* o) { SbDsClose(static_cast<SbDsOutput*>(o)); },
    nullptr,
    nullptr,
    nullptr};

// Idle closes these two rather than pausing them: a closed output cannot be
// left holding a dead device through the hours a chat sits idle.
const SbOutputOps kSbWinmmOutput = {"winmm",
                                    [](int d, unsigned r, SbRender f, void* u, char* e,
                                       size_t n) -> void* { return SbWmOpen(d, r, f, u, e, n); },
                                    [](void* o) { return SbWmFailed(static_cast<SbWmOutput*>(o)); },
                                    [](void* o) { SbWmClose(static_cast<SbWmOutput*>(o)); },
                                    nullptr,
                                    nullptr,
                                    nullptr};

void SbChoiceUnload() {
    if (SbRunOnceUndo(&onceState))
        DeleteCriticalSection(&lock);
}

// One-time initialisation that Windows XP can load (InitOnceExecuteOnce is
// Vista's): the first caller runs init, every other caller waits until it
// has finished.
#ifndef SONABELL_AUDIO_ENGINE_RUN_ONCE_H
#define SONABELL_AUDIO_ENGINE_RUN_ONCE_H

#include <windows.h>

inline void SbRunOnce(volatile LONG* state, void (*init)()) {
    // 0: not started, 1: running, 2: done.
    if (InterlockedCompareExchange(state, 2, 2) == 2)
        return;
    if (InterlockedCompareExchange(state, 1, 0) == 0) {
        init();
        InterlockedExchange(state, 2);
        return;
    }
    while (InterlockedCompareExchange(state, 2, 2) != 2)
        Sleep(0);
}

// At the module's unload, once nothing can run its code any more: true when
// init had run, so what it made is the caller's to delete; the next load
// starts over.
inline bool SbRunOnceUndo(volatile LONG* state) {
    return InterlockedCompareExchange(state, 0, 2) == 2;
}

#endif

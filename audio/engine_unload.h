// The engine's part of the DLL's unload by FreeLibrary (not the process's
// end). Every thread of the engine holds the module while it runs, so by
// then none is left; the process-wide locks and events made once go with
// the module instead of leaking at every unload and reload.
#ifndef SONABELL_AUDIO_ENGINE_UNLOAD_H
#define SONABELL_AUDIO_ENGINE_UNLOAD_H

void SbEngineUnload();

#endif

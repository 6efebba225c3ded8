// Stand-in engine: accepts every call and plays nothing. Linked into the DLL
// until the real stream engine is built.
#include "audio/fsound.h"

namespace {
struct Dummy {
    int unused;
} dummyStream;
} // namespace

extern "C" {
signed char FSOUND_API FSOUND_SetOutput(int) { return 1; }
signed char FSOUND_API FSOUND_SetDriver(int) { return 1; }
signed char FSOUND_API FSOUND_Init(int, int, unsigned int) { return 1; }
FSOUND_STREAM* FSOUND_API FSOUND_Stream_OpenFile(const char*, unsigned int, int) {
    return reinterpret_cast<FSOUND_STREAM*>(&dummyStream);
}
int FSOUND_API FSOUND_Stream_Play(int, FSOUND_STREAM*) { return 1; }
signed char FSOUND_API FSOUND_Stream_Close(FSOUND_STREAM*) { return 1; }
void FSOUND_API FSOUND_Close(void) {}
}

// The audio-library contract: the seven stream calls the plug-in makes, with
// the old library's names, values and calling convention. The engine under
// audio/engine implements them; tests link a recording double instead.
#ifndef SONABELL_AUDIO_FSOUND_H
#define SONABELL_AUDIO_FSOUND_H

#ifdef _WIN32
#define FSOUND_API __stdcall
#else
#define FSOUND_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct FSOUND_STREAM FSOUND_STREAM;

enum {
    FSOUND_OUTPUT_NOSOUND = 0, // silent device
    FSOUND_OUTPUT_WINMM = 1,   // the system's default output
    FSOUND_OUTPUT_DSOUND = 2   // prefer DirectSound
};

enum { FSOUND_INIT_GLOBALFOCUS = 2 };
enum { FSOUND_FREE = -1 }; // "any free channel" for FSOUND_Stream_Play

signed char FSOUND_API FSOUND_SetOutput(int outputType);
signed char FSOUND_API FSOUND_SetDriver(int driver);
signed char FSOUND_API FSOUND_Init(int mixRate, int maxSoftwareChannels, unsigned int flags);
FSOUND_STREAM* FSOUND_API FSOUND_Stream_OpenFile(const char* path, unsigned int mode, int length);
int FSOUND_API FSOUND_Stream_Play(int channel, FSOUND_STREAM* stream);
signed char FSOUND_API FSOUND_Stream_Close(FSOUND_STREAM* stream);
void FSOUND_API FSOUND_Close(void);

#ifdef __cplusplus
}
#endif

#endif

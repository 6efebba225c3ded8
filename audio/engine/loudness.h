// A sound file's loudness (ITU-R BS.1770 through libebur128), measured on its
// decoded audio, and the gain that plays it at one common loudness. Holds no
// Windows state: the measure builds natively too.
#ifndef SONABELL_AUDIO_ENGINE_LOUDNESS_H
#define SONABELL_AUDIO_ENGINE_LOUDNESS_H

// The loudness every evened sound is played at, in LUFS.
constexpr double kSbLoudnessTarget = -18.0;
// Only this much of a file's start is measured: a long file's first seconds
// stand for the rest, and its later peaks are the mixer limiter's.
constexpr double kSbLoudnessSeconds = 10.0;
// The highest sample an evened sound may reach: -1 dBFS.
constexpr float kSbLoudnessCeiling = 0.8912509f;

struct SbLoudness {
    double lufs; // -HUGE_VAL for silence
    double peak; // the largest sample measured, full scale 1.0
    bool whole;  // the whole file was measured
};

// Opens the file with a decoder of its own and measures at most its first
// kSbLoudnessSeconds. stop is polled between blocks: a non-zero value ends the
// measurement unfinished. False when the file cannot be decoded or the
// measurement was stopped.
bool SbLoudnessMeasure(const char* path, const volatile long* stop, SbLoudness* out);

// The linear gain that brings a measured sound to the target: within
// -30..+12 dB and lowered so its peak stays at the ceiling; 1 for silence.
float SbLoudnessGain(const SbLoudness& measured);

#endif

// What a test in the device lane needs: what reached the sound server's sink,
// sample by sample with the time each sample got there, and the faults the
// lane can cause (scripts/pulse-world.sh).
#ifndef SONABELL_TESTS_DEVICE_LANE_H
#define SONABELL_TESTS_DEVICE_LANE_H

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace lane {

constexpr unsigned kSinkRate = 48000;

// Now, on the clock the recorder stamps with (Wine's QueryPerformanceCounter
// reads the same monotonic clock), in nanoseconds.
int64_t NowNs();

// Audio heard at the sink, left and right interleaved at kSinkRate, with
// when each frame got there.
struct Heard {
    std::vector<float> samples;
    std::vector<int64_t> frameNs;
    size_t frames() const { return samples.size() / 2; }
};

// The monitor recording of the lane's sink. Mark() remembers where it ends
// now; Since() returns everything recorded after the mark.
class Monitor {
  public:
    Monitor();
    bool available() const { return !path_.empty(); }
    void Mark();
    Heard Since();
    // Waits until frames stamped at least untilNs have been recorded, or
    // maxMs have passed; then returns everything since the mark.
    Heard SinceUntil(int64_t untilNs, DWORD maxMs);

  private:
    // Walks whole records from offset; returns the offset after the last
    // whole one, filling heard when given.
    uint64_t Walk(uint64_t offset, Heard* heard);
    std::string path_;
    uint64_t mark_ = 0;
};

// Loudness and shape of a stretch of heard audio, frames [from, to).
size_t FirstLoudFrame(const Heard& h, float level, size_t from = 0);
size_t LastLoudFrame(const Heard& h, float level); // frames() when none
double Rms(const Heard& h, size_t from, size_t to);
double PeakOf(const Heard& h, size_t from, size_t to);
double Frequency(const Heard& h, size_t from, size_t to); // zero crossings, left channel
// The amplitude of one frequency in [from, to), left channel (a Hann-windowed
// single-bin DFT): a tone that hides under a louder one still shows here.
double ToneLevel(const Heard& h, size_t from, size_t to, double hz);
// Silent runs longer than minMs inside [from, to): how many, and their
// total length in milliseconds.
struct Gaps {
    int count = 0;
    double totalMs = 0;
};
Gaps FindGaps(const Heard& h, size_t from, size_t to, double minMs);
// The longest the sink fell behind and then caught up, in ms: a sound server
// that stalls renders the time it missed in one burst when it runs again.
// A few ms on a sink that keeps time.
double LongestStallMs(const Heard& h);

// A sound started by play(), which says whether it plays, as the sink got
// it: whether anything louder than 0.05 came within listenMs of the call,
// when its first such sample came, and the gaps over 1 ms between its first
// loud sample and its last.
struct Arrival {
    bool heard = false;
    double delayMs = -1; // from the call; -1 when unheard or play() said no
    Gaps gaps;
};
Arrival Listen(Monitor& monitor, DWORD listenMs, const std::function<bool()>& play);

// Runs pulse-world.sh <what> for this tree and waits for it to finish.
// what: sink-off, sink-on, crash, revive, stall (the daemon stopped for
// 1.2 s from now; this returns at once). Empty when done; otherwise what
// kept the lane from doing it.
std::string Fault(const char* what);

// The sink's playback streams now: those playing and those paused (corked).
// Empty when read; otherwise what kept the lane from reading them.
std::string Streams(int* running, int* corked);

// A file's bytes; empty when it cannot be read.
std::string FileBytes(const std::string& path);
// The media folder's file as bytes.
std::string MediaBytes(const std::string& name);

} // namespace lane

#endif

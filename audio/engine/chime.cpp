#include "audio/engine/chime.h"

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

// A bell's partials: the strike tone, its octave and a soft inharmonic
// overtone, each dying away faster than the one below it.
struct Partial {
    double ratio;
    double level;
    double decayPerSecond;
};
constexpr Partial kPartials[] = {{1.0, 1.0, 4.0}, {2.0, 0.35, 7.0}, {2.76, 0.12, 11.0}};

struct Note {
    double startSeconds;
    double frequency;
    double level;
};
// E6 then C6: a falling major third, the doorbell everyone knows.
constexpr Note kNotes[] = {{0.0, 1318.51, 0.55}, {0.17, 1046.50, 0.5}};

constexpr double kAttackSeconds = 0.004; // a bell's strike, without a click
constexpr double kFadeSeconds = 0.03;    // the end reaches zero exactly

double NoteAt(const Note& note, double t) {
    double local = t - note.startSeconds;
    if (local < 0)
        return 0;
    double attack =
        local < kAttackSeconds ? 0.5 - 0.5 * std::cos(kPi * local / kAttackSeconds) : 1.0;
    double sum = 0;
    for (const Partial& p : kPartials)
        sum += p.level * std::exp(-p.decayPerSecond * local) *
               std::sin(2 * kPi * note.frequency * p.ratio * local);
    return note.level * attack * sum;
}

} // namespace

void SbChimeStart(SbChime* chime, unsigned rate) {
    chime->rate = rate;
    chime->position = 0;
}

size_t SbChimeRender(SbChime* chime, float* out, size_t frameCount) {
    if (chime->rate == 0)
        return 0;
    const double rate = chime->rate;
    const size_t total = static_cast<size_t>(kChimeSeconds * rate);
    size_t done = 0;
    for (; done < frameCount && chime->position < total; ++done, ++chime->position) {
        double t = static_cast<double>(chime->position) / rate;
        double v = 0;
        for (const Note& note : kNotes)
            v += NoteAt(note, t);
        double left = kChimeSeconds - t;
        if (left < kFadeSeconds)
            v *= 0.5 - 0.5 * std::cos(kPi * left / kFadeSeconds);
        out[2 * done] = out[2 * done + 1] = static_cast<float>(0.6 * v);
    }
    return done;
}

// Listens to the engine's capture file (--audio capture:FILE) to tell whether
// the receiving side really made a sound, rather than taking an empty answer
// for one: a sound that is switched off or fails silently answers empty too.
#ifndef SONABELL_TOOLS_CAPTURE_LISTENER_H
#define SONABELL_TOOLS_CAPTURE_LISTENER_H

#include <windows.h>

#include <string>

class CaptureListener {
  public:
    // An empty path listens to nothing (other audio outputs).
    explicit CaptureListener(std::string path) : path_(std::move(path)) {}
    bool active() const { return !path_.empty(); }

    // The capture's length now: where to listen from.
    unsigned long long Mark() const;
    // Whether audible samples arrive after mark within timeoutMs. The first
    // 50 ms are skipped: they may still hold the end of an earlier sound.
    // pump keeps the host's windows answering while it waits.
    bool HeardSince(unsigned long long mark, DWORD timeoutMs, void (*pump)(DWORD)) const;

  private:
    std::string path_;
};

#endif

/* Reads the sound server's monitor stream (raw PCM from parec) on stdin and
   appends it to stdout as records: the reading's CLOCK_MONOTONIC_RAW time in
   nanoseconds (8 bytes), the byte count (4 bytes), then the bytes. Wine's
   QueryPerformanceCounter reads the same clock, so a Windows test can tell
   when each sample reached the sink. A native program: the device lane
   builds it with the host's compiler. */
#define _GNU_SOURCE
#include <errno.h>
#include <stdint.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static int write_all(const void* data, size_t size) {
    const char* p = data;
    while (size > 0) {
        ssize_t n = write(1, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return -1;
        p += n;
        size -= (size_t)n;
    }
    return 0;
}

int main(void) {
    /* A small read keeps each stamp close to its samples; parec delivers a
       few milliseconds at a time anyway. */
    static unsigned char buffer[4096];
    for (;;) {
        ssize_t n = read(0, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 0;
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC_RAW, &now);
        uint64_t ns = (uint64_t)now.tv_sec * 1000000000u + (uint64_t)now.tv_nsec;
        uint32_t bytes = (uint32_t)n;
        unsigned char head[12];
        memcpy(head, &ns, 8);
        memcpy(head + 8, &bytes, 4);
        if (write_all(head, sizeof head) != 0 || write_all(buffer, (size_t)n) != 0)
            return 1;
    }
}

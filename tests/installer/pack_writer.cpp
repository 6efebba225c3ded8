// Installs a soundpack into the sound database with the plug-in's own code,
// so that a test can compare the result with what the setup writes.
//   installer-pack-writer <install.ini>
#include "soundpack/soundpack.h"

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    return InstallSoundpack(argv[1]) == kPackDone ? 0 : 1;
}

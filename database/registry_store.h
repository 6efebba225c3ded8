// The persistent sound database: one sub-key per sound under the Sounds key
// of HKEY_LOCAL_MACHINE. The only code that touches that key.
#ifndef SONABELL_DATABASE_REGISTRY_STORE_H
#define SONABELL_DATABASE_REGISTRY_STORE_H

#include "database/sound_table.h"

// Written with this spelling; LoadSounds opens it as "software\..." (the
// registry ignores letter case).
#define SONABELL_SOUNDS_KEY "Software\\tinderwick_ software\\Sonabell\\Sounds\\"
#define SONABELL_SOUNDS_KEY_READ "software\\tinderwick_ software\\Sonabell\\Sounds\\"

enum StoreResult {
    kStoreDone = 0,
    kStoreInvalidIndex = -3,
    kStoreExists = -4,
    kStoreRefused = -5, // the registry refused the change (see LastWriteWasDenied)
    kStoreNoDatabase = -102,
    kStoreNoSound = -103,
};

// Reads with full access where the account has it and read-only where it
// has not, so a database only an administrator may change still loads.
int LoadSounds();
int WriteSound(const SoundRecord* record);
int DeleteSound(const SoundRecord* record);
int DeleteSoundNumber(int number);
int AddSound(const char* indexText, const char* command, const char* soundPath,
             const char* message);

// What WriteSound would answer for this index text, found without writing:
// kStoreDone, kStoreInvalidIndex, kStoreExists, or kStoreRefused with *denied
// telling whether the database is read-only for this account.
int ProbeSoundWrite(const char* indexText, bool* denied);

// The number an index text reads as: leading white space, an optional sign,
// then digits up to the first non-digit; no digits give 0. Saturates instead
// of overflowing.
long IndexTextValue(const char* text);

// True when the last WriteSound, DeleteSound or DeleteSoundNumber returned
// kStoreRefused because this account may not change the database (access
// denied): the database is read-only for it.
bool LastWriteWasDenied();

#endif

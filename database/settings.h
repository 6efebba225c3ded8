// The user's two switches, kept per user under HKEY_CURRENT_USER.
#ifndef SONABELL_DATABASE_SETTINGS_H
#define SONABELL_DATABASE_SETTINGS_H

#define SONABELL_SETTINGS_KEY "Software\\tinderwick_ software\\Sonabell"
#define SONABELL_SETTINGS_KEY_READ "software\\tinderwick_ software\\Sonabell"

extern bool soundsEnabled; // received sounds are played
extern bool toastsEnabled; // a missing file is reported by a toast

void LoadSettings();
// Stores one flag in the existing settings key; never creates the key.
void StoreSetting(const char* valueName, bool on);

#endif

// The user's two switches, kept per user under HKEY_CURRENT_USER.
#ifndef SONABELL_DATABASE_SETTINGS_H
#define SONABELL_DATABASE_SETTINGS_H

#define SONABELL_SETTINGS_KEY "Software\\tinderwick_ software\\Sonabell"
#define SONABELL_SETTINGS_KEY_READ "software\\tinderwick_ software\\Sonabell"

extern bool soundsEnabled; // received sounds are played
extern bool toastsEnabled; // a missing file is reported by a toast

// Reads both flags; a missing key or value reads as off and creates nothing.
void LoadSettings();
// Stores one flag, creating the settings key when it is missing.
void StoreSetting(const char* valueName, bool on);

#endif

// How the plug-in tells the user what went wrong.
#ifndef SONABELL_SOUNDPACK_DIAGNOSTICS_H
#define SONABELL_SOUNDPACK_DIAGNOSTICS_H

#include <string>

// Pending error messages: set by a dialog or appended to by a soundpack
// install; the Error dialog shows it and empties it.
extern std::string errorReport;

#endif

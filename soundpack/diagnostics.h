// How the plug-in tells the user what went wrong.
#ifndef SONABELL_SOUNDPACK_DIAGNOSTICS_H
#define SONABELL_SOUNDPACK_DIAGNOSTICS_H

#include <string>

// Pending error messages: set by a dialog or appended to by a soundpack
// install; the Error dialog shows it and empties it.
extern std::string errorReport;

// Replaces whatever is pending with one message.
void SetErrorReport(const char* message);
// Adds text after what is pending (one line per failed soundpack sound).
void AppendErrorReport(const char* text);

// What a change refused because the database is read-only for this account
// tells the user (after the registry store's LastWriteWasDenied): what
// happened, that the sounds still play, and how to fix it.
extern const char kReadOnlyDatabaseText[];

// "The following error occurred:\n<system text>" in a "Critical Error!" box.
void ShowSystemError(unsigned long code);
// The number in decimal in an OK box with the caller's caption.
void ShowNumberBox(int number, const char* caption);
// Appends a snapshot of the sound table to "f:\errorlog.txt": 0, or -2.
int AppendErrorLog();
// One message box per record; a negative slot shows them all.
void ShowDatabaseDump(int slot);

// The fixed path of the diagnostic log.
#define SONABELL_ERROR_LOG_PATH "f:\\errorlog.txt"

#endif

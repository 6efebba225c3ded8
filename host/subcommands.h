// The chat sub-commands named by a keyword after "/xSB".
#ifndef SONABELL_HOST_SUBCOMMANDS_H
#define SONABELL_HOST_SUBCOMMANDS_H

// keyword is one of kKeywords (host/sound_line.h). 1 when the sub-command ran
// and wrote its answer into result (kResultCapacity bytes); 0 when this build
// lacks it, leaving result untouched.
int RunSubCommand(const char* keyword, char* result);

#endif

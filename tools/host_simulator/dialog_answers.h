// Scripted answers to the plug-in's modal dialogs and message boxes, so a
// conversation script can run unattended. A thread timer keeps running inside
// every nested modal loop and acts on each dialog as it opens.
#ifndef SONABELL_TOOLS_DIALOG_ANSWERS_H
#define SONABELL_TOOLS_DIALOG_ANSWERS_H

#include <string>

// Parses "<caption>" followed by actions: set <id> <text up to ;>, click <id>,
// check <id>, click-row <row>, pick-row <row>, separated by ';'. The next
// window with that caption gets them. Returns false with an error text.
bool QueueDialogAnswer(const std::string& spec, std::string& error);
// Starts answering; windows nobody queued an answer for are reported and
// closed, so a script never hangs.
void StartDialogAnswers();
// Answers still waiting for their window.
int PendingDialogAnswers();

#endif

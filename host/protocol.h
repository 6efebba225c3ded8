// The chat protocol's entry points: sound commands going out, sound
// notifications coming in, and the host's toast pop-ups. Every argument and
// result is one machine word, passed with the Windows calling convention.
#ifndef SONABELL_HOST_PROTOCOL_H
#define SONABELL_HOST_PROTOCOL_H

#include <windows.h>

// The record whose address travels with "MessengerPlus_DisplayToast": five
// machine words. The title comes first although it is the second argument.
struct ToastRequest {
    const void* title;
    const void* text;
    UINT_PTR param;
    INT_PTR flag;      // -1 for true, 0 for false
    UINT_PTR reserved; // the host's; the plug-in leaves it 0
};

extern "C" {
// 1 with a sound line or a sub-command's answer in result; 0 leaves result
// untouched.
int WINAPI ParseCommand(const char* commandWord, const char* parameterText, UINT_PTR ignored,
                        char* result);
// 1 with an empty text or an error line in result; 0 (result untouched) when
// the code is not one of the plug-in's sounds.
int WINAPI ReceiveNotify(const char* notificationCode, UINT_PTR second, UINT_PTR third,
                         char* result);
LRESULT WINAPI DisplayToast(const char* text, const char* title, UINT_PTR param, UINT_PTR flag);
LRESULT WINAPI DisplayToastW(const wchar_t* text, const wchar_t* title, UINT_PTR param,
                             UINT_PTR flag);
}

// Starts the count of received sounds behind the flood limit afresh.
void ForgetReceivedSounds();

#endif

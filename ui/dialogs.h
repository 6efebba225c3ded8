// The plug-in's dialog procedures and the few helpers they share. Every
// dialog is modal and built from the plug-in's own templates (resource.h).
#ifndef SONABELL_UI_DIALOGS_H
#define SONABELL_UI_DIALOGS_H

#include <windows.h>

#include <string>

// Small dialogs: About (101), Help and Confirm Delete (114, 126, generic
// OK/Cancel), Options (127), Error (124).
INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK OkCancelProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK OptionsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ErrorProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The configuration panel (107).
INT_PTR CALLBACK ConfigPanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam);

// The add and edit sound dialogs, both on template 113.
INT_PTR CALLBACK AddSoundProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK EditSoundProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
enum IndexListMode { kIndexListAdd, kIndexListEdit };
// Fills the index list with the free indices; in edit mode the sound in
// `slot` keeps its own index on offer, selected.
void ASInit(HWND indexList, IndexListMode mode, int slot);
extern int indexPosition[1000]; // index -> its position in the list, or -1
extern int editSlot;            // the table slot being edited, -1 for none

// The soundpack dialog (123).
INT_PTR CALLBACK SoundpackProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
extern bool soundpackBusy; // an install, uninstall or check is being handled

// The check's report (128): checks the pack whose path lParam points to and
// shows its rows.
INT_PTR CALLBACK PackReportProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void ShowPackReport(HWND owner, const std::string& path);

// Shared by the procedures.
void SetDialogIcon(HWND dialog);
// Frees the banner bitmaps the dialog's static controls loaded from its
// template: Wine's static control never frees them (about 75 KB a dialog).
// Every procedure calls it on WM_DESTROY.
void ReleaseTemplateBitmaps(HWND dialog);
// The rest of a small dialog's procedure: OK ends it with 1, Cancel with 2,
// other commands are taken and ignored; WM_DESTROY frees the banner.
INT_PTR OnCommonMessage(HWND dialog, UINT message, WPARAM wParam);
// The Open dialog over `dialog`; the chosen path goes into the edit `field`.
// `filter` is in the OPENFILENAME form (pairs, each part zero-ended).
void BrowseIntoField(HWND dialog, HWND field, const char* filter);
// Shows errorReport in the Error dialog owned by `owner`, which empties it.
void ShowErrorDialog(HWND owner);
// The number formed by a text's leading decimal digits; 0 when it has none.
// Saturates instead of overflowing.
int LeadingNumber(const char* text);
// The index text (sub-item 0) of one row of the panel's list, whole; empty
// when the row does not exist.
std::string ReadRowIndexText(int row);

#endif

// The dialogs as docs/screenshots/ pictures them: the same sample content for
// the program that takes the pictures and for the test that checks them, and
// the text each dialog shows, which is kept beside each picture.
#ifndef SONABELL_TESTS_UI_SCREENSHOT_SCENES_H
#define SONABELL_TESTS_UI_SCREENSHOT_SCENES_H

#include <windows.h>

#include <string>
#include <vector>

namespace screenshots {

struct Scene {
    const char* name; // the picture is docs/screenshots/<name>.png, its text <name>.txt
    int templateId;
    DLGPROC procedure;
    const char* caption;
    LPARAM parameter; // the dialog's lParam
};

const std::vector<Scene>& Scenes();
const Scene* FindScene(const std::string& name);

// The sound table, switches and pending error text the pictures show.
void PrepareScene(const Scene& scene);

// What a user reads in an open dialog: its caption, then each visible
// control in the template's order with its kind and text; a checkbox with its tick, a
// list view with its columns and rows, a combo box with what it shows. One
// line each, lines of a multi-line text indented under it.
std::string ShownText(HWND dialog);

} // namespace screenshots

#endif

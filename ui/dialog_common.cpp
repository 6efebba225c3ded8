#include "ui/dialogs.h"

#include "host/plugin.h"
#include "soundpack/diagnostics.h"
#include "ui/panel_state.h"
#include "ui/resource.h"

#include <commctrl.h>
#include <commdlg.h>

#include <climits>
#include <string>

void SetDialogIcon(HWND dialog) {
    SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(pluginIcon));
}

namespace {

BOOL CALLBACK ReleaseOneBitmap(HWND child, LPARAM) {
    char className[16];
    if (GetClassNameA(child, className, sizeof className) == 0 ||
        lstrcmpiA(className, "Static") != 0)
        return TRUE;
    if ((GetWindowLongPtrA(child, GWL_STYLE) & SS_TYPEMASK) != SS_BITMAP)
        return TRUE;
    // Taking the image out hands it to us on every system, so deleting it
    // can never pull it from under a control that still draws it.
    HGDIOBJ image = reinterpret_cast<HGDIOBJ>(SendMessageA(child, STM_SETIMAGE, IMAGE_BITMAP, 0));
    if (image)
        DeleteObject(image);
    return TRUE;
}

} // namespace

void ReleaseTemplateBitmaps(HWND dialog) {
    EnumChildWindows(dialog, ReleaseOneBitmap, 0);
}

INT_PTR OnCommonMessage(HWND dialog, UINT message, WPARAM wParam) {
    switch (message) {
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            EndDialog(dialog, 1);
            break;
        case IDCANCEL: // Escape and the close box too
            EndDialog(dialog, 2);
            break;
        }
        return TRUE;
    case WM_DESTROY:
        ReleaseTemplateBitmaps(dialog);
        return FALSE;
    }
    return FALSE;
}

void BrowseIntoField(HWND dialog, HWND field, const char* filter) {
    char path[MAX_PATH] = "";
    OPENFILENAMEA open = {};
    open.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    open.hwndOwner = dialog;
    open.lpstrFilter = filter;
    open.nFilterIndex = 0;
    open.lpstrFile = path;
    open.nMaxFile = sizeof path;
    open.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
    open.lpstrDefExt = "ini";
    if (GetOpenFileNameA(&open))
        SendMessageA(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path));
}

void ShowErrorDialog(HWND owner) {
    DialogBoxParamA(moduleHandle, MAKEINTRESOURCEA(IDD_ERROR), owner, ErrorProc, 0);
}

int LeadingNumber(const char* text) {
    int value = 0;
    for (const char* p = text; *p >= '0' && *p <= '9'; ++p) {
        int digit = *p - '0';
        if (value > (INT_MAX - digit) / 10)
            return INT_MAX;
        value = value * 10 + digit;
    }
    return value;
}

std::string ReadRowIndexText(int row) {
    // Whole: a soundpack can give an index of up to 255 characters (the
    // registry's limit for a key name). Cut to 3, "1000" would read as "100"
    // and Delete, Edit and Play would act on another sound.
    char text[256] = "";
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = 0;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    // A row that does not exist leaves the buffer as it was: empty.
    SendMessageA(soundListView, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    text[sizeof text - 1] = '\0';
    return text;
}

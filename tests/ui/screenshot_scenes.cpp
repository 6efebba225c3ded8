#include "screenshot_scenes.h"

#include "database/settings.h"
#include "database/sound_table.h"
#include "soundpack/diagnostics.h"
#include "ui/dialogs.h"
#include "ui/panel_state.h"
#include "ui/resource.h"

#include <commctrl.h>

namespace screenshots {

namespace {

std::string WindowText(HWND window) {
    int length = GetWindowTextLengthA(window);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    length = GetWindowTextA(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(length > 0 ? length : 0));
    return text;
}

// "kind: text", continuation lines of the text indented.
void AddLine(std::string& out, const std::string& kind, const std::string& text) {
    out += kind + ":";
    if (!text.empty())
        out += " ";
    bool lineStart = false;
    for (char c : text) {
        if (c == '\r')
            continue;
        if (lineStart && c != '\n')
            out += "    ";
        out += c;
        lineStart = c == '\n';
    }
    out += "\n";
}

std::string ListViewText(HWND list) {
    std::string text;
    for (int position = 0;; ++position) {
        char title[64] = "";
        LVCOLUMNA column = {};
        column.mask = LVCF_TEXT;
        column.pszText = title;
        column.cchTextMax = sizeof title;
        if (!SendMessageA(list, LVM_GETCOLUMNA, position, reinterpret_cast<LPARAM>(&column)))
            break;
        text += position ? " | " : "";
        text += title;
    }
    const int columns = static_cast<int>(SendMessageA(
        reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0)), HDM_GETITEMCOUNT, 0, 0));
    const int rows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row) {
        text += "\n";
        for (int column = 0; column < columns; ++column) {
            char cell[300] = "";
            LVITEMA item = {};
            item.iSubItem = column;
            item.pszText = cell;
            item.cchTextMax = sizeof cell;
            SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
            text += column ? " | " : "";
            text += cell;
        }
    }
    return text;
}

std::string ComboBoxExText(HWND combo) {
    // An editable one shows its edit field; a drop-down list its chosen item.
    if (HWND edit = reinterpret_cast<HWND>(SendMessageA(combo, CBEM_GETEDITCONTROL, 0, 0)))
        return WindowText(edit);
    char text[300] = "";
    COMBOBOXEXITEMA item = {};
    item.mask = CBEIF_TEXT;
    item.iItem = static_cast<int>(SendMessageA(combo, CB_GETCURSEL, 0, 0));
    item.pszText = text;
    item.cchTextMax = sizeof text;
    if (item.iItem >= 0)
        SendMessageA(combo, CBEM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return text;
}

void AddSample(const char* index, const char* command, const char* file, const char* message) {
    int slot = FindFreeSlot();
    SoundRecord* record = CreateSoundRecord(true);
    soundTable.slots[slot] = record;
    SetRecordText(&record->indexText, index);
    SetRecordText(&record->command, command);
    SetRecordText(&record->filename, file);
    SetRecordText(&record->message, message);
}

} // namespace

const std::vector<Scene>& Scenes() {
    static const std::vector<Scene> scenes = {
        {"panel", IDD_CONFIG_PANEL, ConfigPanelProc, "Sonabell Config Panel"},
        {"add", IDD_ADD_SOUND, AddSoundProc, "Add Sounds"},
        {"soundpack", IDD_SOUNDPACK, SoundpackProc, "Install a Soundpack"},
        {"about", IDD_ABOUT, AboutProc, "About - Sonabell Plugin"},
        {"help", IDD_HELP, OkCancelProc, "Sonabell Help"},
        {"options", IDD_OPTIONS, OptionsProc, "Dialog"},
        {"error", IDD_ERROR, ErrorProc, "Sonabell Error Dialog"},
        {"confirm", IDD_CONFIRM_DELETE, OkCancelProc, "Confirm Delete"},
        // The sample pack checked against the pictures' own sounds.
        {"report", IDD_PACK_REPORT, PackReportProc, "Soundpack Check",
         reinterpret_cast<LPARAM>(SONABELL_SAMPLE_PACK)},
    };
    return scenes;
}

const Scene* FindScene(const std::string& name) {
    for (const Scene& scene : Scenes())
        if (name == scene.name)
            return &scene;
    return nullptr;
}

void PrepareScene(const Scene& scene) {
    ClearSoundTable();
    AddSample("1", "welcome", "\\welcome.mp3", "Welcome to the chat!");
    AddSample("2", "hi", "\\hi.wav", "Hi there");
    AddSample("5", "laugh", "\\laugh.mp3", "LOL");
    AddSample("7", "bye", "\\bye.ogg", "See you later");
    AddSample("12", "doorbell", "\\doorbell.mp3", "Knock knock");
    AddSample("40", "applause", "\\applause.wav", "Well done!");
    soundsEnabled = true;
    toastsEnabled = true;
    playbackVolume = kFullVolume;
    letSoundsFinish = false;
    soundsPerMinute = 0;
    if (scene.templateId == IDD_OPTIONS) {
        playbackVolume = 80;
        letSoundsFinish = true;
        soundsPerMinute = 10;
    }
    selectedRow = -1;
    errorReport.clear();
    if (scene.templateId == IDD_ERROR)
        errorReport = "A sound with the same index number already exists, please choose another "
                      "index and try again.";
}

std::string ShownText(HWND dialog) {
    std::string out;
    AddLine(out, "caption", WindowText(dialog));
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (!IsWindowVisible(child))
            continue;
        char className[64] = "";
        GetClassNameA(child, className, sizeof className);
        const LONG style = GetWindowLongA(child, GWL_STYLE);
        const std::string kind = className;
        if (kind == "Static") {
            const std::string text = WindowText(child);
            if ((style & SS_TYPEMASK) == SS_BITMAP || (style & SS_TYPEMASK) == SS_ICON)
                continue; // the banner and icons carry no text
            AddLine(out, "Static", text);
        } else if (kind == "Button") {
            const LONG type = style & BS_TYPEMASK;
            if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX) {
                const bool ticked = SendMessageA(child, BM_GETCHECK, 0, 0) == BST_CHECKED;
                AddLine(out, ticked ? "CheckBox [x]" : "CheckBox [ ]", WindowText(child));
            } else if (type == BS_GROUPBOX) {
                AddLine(out, "GroupBox", WindowText(child));
            } else {
                AddLine(out, (style & BS_ICON) ? "Button (icon)" : "Button", WindowText(child));
            }
        } else if (kind == "Edit") {
            AddLine(out, "Edit", WindowText(child));
        } else if (kind == "SysListView32") {
            AddLine(out, "List", ListViewText(child));
        } else if (kind == "ComboBoxEx32") {
            AddLine(out, "ComboBox", ComboBoxExText(child));
        } else if (kind == "msctls_updown32") {
            continue; // the number box's arrows: its edit shows the number
        } else if (kind == "msctls_trackbar32") {
            AddLine(out, "Slider",
                    std::to_string(SendMessageA(child, TBM_GETPOS, 0, 0)) + " of " +
                        std::to_string(SendMessageA(child, TBM_GETRANGEMIN, 0, 0)) + " to " +
                        std::to_string(SendMessageA(child, TBM_GETRANGEMAX, 0, 0)));
        } else {
            AddLine(out, kind, WindowText(child));
        }
    }
    return out;
}

} // namespace screenshots

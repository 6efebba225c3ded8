// sonabell-host: plays the messenger host for the Sonabell plug-in. It loads
// the DLL as the host does, shows what it publishes, and runs a chat in which
// every command goes to ParseCommand and every sound line is delivered to the
// receiving side's ReceiveNotify, printing what each side sees.
#include "capture_listener.h"
#include "dialog_answers.h"
#include "plugin_host.h"
#include "toast_window.h"

#include "host/host_contract.h"

#include <windows.h>

#include <shlwapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

const char kUsage[] =
    "usage: sonabell-host [--plugin-dir DIR] [--dll PATH] [--audio MODE] [--script FILE]\n"
    "  --plugin-dir DIR  the host's plug-in folder: it holds Sonabell.dll and the Sonabell\n"
    "                    sound folder (default: this program's folder)\n"
    "  --dll PATH        load this DLL instead of DIR\\Sonabell.dll\n"
    "  --audio MODE      silent | capture:FILE.wav | device | wasapi | dsound | winmm\n"
    "                    (default: device, the system's default output)\n"
    "  --script FILE     read the conversation from FILE instead of the keyboard\n"
    "  --fresh           start from an empty sound database and no settings (removes\n"
    "                    Sonabell's registry keys first)\n"
    "In the chat, a line starting with / is a command for the plug-ins, anything else is\n"
    "plain chat. Host commands: !menu CAPTION, !receive CODE, !answer \"CAPTION\" ACTIONS,\n"
    "!wait MS, !say TEXT, !help, !quit.\n";

constexpr unsigned char kCanary = 0xCD;

struct Options {
    std::string pluginDir;
    std::string dll;
    std::string audio = "device";
    std::string script;
    bool fresh = false;
};

std::string Visible(const std::string& text, bool soundLine) {
    // Control bytes and the index field's padding made visible.
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "<0x%02X>", c);
            out += hex;
        } else if (soundLine && i >= 3 && i < 6 && c == ' ') {
            out += '_';
        } else {
            out += static_cast<char>(c);
        }
        if (soundLine && (i == 2 || i == 5))
            out += '|';
    }
    return out;
}

void Pump(DWORD milliseconds) {
    DWORD until = GetTickCount() + milliseconds;
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        LONG left = static_cast<LONG>(until - GetTickCount());
        if (left <= 0)
            break;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
    }
}

class Chat {
  public:
    Chat(PluginHost& host, const CaptureListener& capture) : host_(host), capture_(capture) {}

    // False when the conversation is over.
    bool Line(const std::string& line) {
        if (line.empty() || line[0] == '#')
            return true;
        if (line[0] == '!')
            return HostCommand(line);
        std::printf("you> %s\n", line.c_str());
        if (line[0] == '/')
            Command(line);
        else
            std::printf("  (plain chat: sent as it is)\n");
        std::fflush(stdout);
        return true;
    }

    int failures() const { return failures_; }

  private:
    bool HostCommand(const std::string& line) {
        size_t space = line.find(' ');
        std::string verb = line.substr(0, space);
        std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
        if (verb == "!quit")
            return false;
        if (verb == "!say") {
            std::printf("\n== %s\n", rest.c_str());
        } else if (verb == "!wait") {
            Pump(static_cast<DWORD>(std::strtoul(rest.c_str(), nullptr, 10)));
        } else if (verb == "!answer") {
            std::string error;
            if (!QueueDialogAnswer(rest, error)) {
                std::printf("  (host: %s)\n", error.c_str());
                ++failures_;
            }
        } else if (verb == "!menu") {
            for (const PublishedCommand& command : host_.commands) {
                if (lstrcmpiA(command.caption.c_str(), rest.c_str()) == 0) {
                    std::printf("you pick the menu item \"%s\"\n", command.caption.c_str());
                    Command("/" + command.name);
                    return true;
                }
            }
            std::printf("  (host: the plug-in published no menu item \"%s\")\n", rest.c_str());
            ++failures_;
        } else if (verb == "!receive") {
            std::printf("a contact's line arrives with the code \"%s\"\n", rest.c_str());
            Receive(rest);
        } else if (verb == "!help") {
            std::fputs(kUsage, stdout);
        } else {
            std::printf("  (host: unknown host command %s; !help lists them)\n", verb.c_str());
        }
        std::fflush(stdout);
        return true;
    }

    void Command(const std::string& line) {
        size_t space = line.find(' ');
        std::string word = line.substr(0, space);
        std::string parameters = space == std::string::npos ? "" : line.substr(space + 1);
        std::vector<unsigned char> result(kResultCapacity + 64, kCanary);
        int handled = host_.ParseCommand(word.c_str(), parameters.c_str(), 0,
                                         reinterpret_cast<char*>(result.data()));
        Pump(0);
        if (!CheckResult(result, handled))
            return;
        if (!handled) {
            std::printf("  (no plug-in takes %s: sent as plain chat)\n", word.c_str());
            return;
        }
        std::string answer(reinterpret_cast<const char*>(result.data()));
        if (answer.empty()) {
            std::printf("  Sonabell handled it (nothing to send)\n");
        } else if (answer[0] == '\x12') {
            std::printf("  Sonabell answers with a sound line: %s\n",
                        Visible(answer, true).c_str());
            std::printf("  your contact receives it...\n");
            Receive(answer.substr(1));
        } else if (answer.compare(0, 4, "/xSB") == 0) {
            std::printf("  Sonabell hands back the command %s: the host sends it\n",
                        answer.c_str());
            Line(answer);
        } else {
            std::printf("  Sonabell answers: %s\n", Visible(answer, false).c_str());
        }
    }

    void Receive(const std::string& code) {
        std::vector<unsigned char> result(kResultCapacity + 64, kCanary);
        int toastsBefore = ToastsShown();
        const unsigned long long heardUpTo = capture_.active() ? capture_.Mark() : 0;
        int handled =
            host_.ReceiveNotify(code.c_str(), 0, 0, reinterpret_cast<char*>(result.data()));
        Pump(0);
        if (!CheckResult(result, handled))
            return;
        if (!handled) {
            std::printf("  their Sonabell: not a sound code (the line shows as text)\n");
            return;
        }
        std::string answer(reinterpret_cast<const char*>(result.data()));
        if (answer.empty() && ToastsShown() != toastsBefore)
            std::printf("  their Sonabell: no error line; the toast above told them instead\n");
        else if (answer.empty() && !capture_.active())
            std::printf("  their Sonabell: no error line (sound %s plays if their sounds are on;"
                        " --audio capture:FILE.wav hears it)\n",
                        IndexOf(code).c_str());
        else if (answer.empty() && capture_.HeardSince(heardUpTo, 1500, Pump))
            std::printf("  their Sonabell plays sound %s (no error line)\n", IndexOf(code).c_str());
        else if (answer.empty())
            std::printf("  their Sonabell: no error line, but sound %s was not heard (sounds"
                        " switched off?)\n",
                        IndexOf(code).c_str());
        else
            std::printf("  their Sonabell shows the error line: %s\n",
                        Visible(answer, false).c_str());
    }

    static std::string IndexOf(const std::string& code) {
        std::string digits;
        for (size_t i = 2; i < code.size() && i < 5 && code[i] >= '0' && code[i] <= '9'; ++i)
            digits += code[i];
        return digits;
    }

    // The host's own guard: a declined call leaves the buffer alone, and an
    // answer always ends within the buffer's capacity.
    bool CheckResult(const std::vector<unsigned char>& result, int handled) {
        for (size_t i = kResultCapacity; i < result.size(); ++i) {
            if (result[i] != kCanary) {
                std::printf("  HOST CHECK FAILED: the plug-in wrote past the %zu-byte buffer\n",
                            kResultCapacity);
                ++failures_;
                return false;
            }
        }
        if (!handled) {
            for (size_t i = 0; i < kResultCapacity; ++i) {
                if (result[i] != kCanary) {
                    std::printf("  HOST CHECK FAILED: a declined call wrote into the buffer\n");
                    ++failures_;
                    return false;
                }
            }
            return true;
        }
        if (!std::memchr(result.data(), 0, kResultCapacity)) {
            std::printf("  HOST CHECK FAILED: the answer has no terminating zero\n");
            ++failures_;
            return false;
        }
        return true;
    }

    PluginHost& host_;
    const CaptureListener& capture_;
    int failures_ = 0;
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        if (arg == "--plugin-dir") {
            if (!value(options.pluginDir))
                return false;
        } else if (arg == "--dll") {
            if (!value(options.dll))
                return false;
        } else if (arg == "--audio") {
            if (!value(options.audio))
                return false;
        } else if (arg == "--fresh") {
            options.fresh = true;
        } else if (arg == "--script") {
            if (!value(options.script))
                return false;
        } else {
            return false;
        }
    }
    return options.audio == "device" || options.audio == "silent" || options.audio == "wasapi" ||
           options.audio == "dsound" || options.audio == "winmm" ||
           options.audio.compare(0, 8, "capture:") == 0;
}

std::string FullPath(const std::string& path) {
    char full[MAX_PATH * 4] = "";
    DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return length && length < sizeof full ? std::string(full) : path;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (!ParseOptions(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    if (options.pluginDir.empty()) {
        char self[MAX_PATH] = "";
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        options.pluginDir = self;
        options.pluginDir.resize(options.pluginDir.find_last_of("\\/"));
    }
    options.pluginDir = FullPath(options.pluginDir);
    if (options.dll.empty())
        options.dll = options.pluginDir + "\\Sonabell.dll";

    std::ifstream scriptFile;
    if (!options.script.empty()) {
        scriptFile.open(options.script);
        if (!scriptFile) {
            std::fprintf(stderr, "sonabell-host: cannot read the script %s\n",
                         options.script.c_str());
            return kExitBadScript;
        }
    }

    // The engine reads its output override when the plug-in starts it.
    if (options.audio == "device")
        SetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", nullptr);
    else
        SetEnvironmentVariableA("SONABELL_AUDIO_OUTPUT", options.audio.c_str());

    if (options.fresh) {
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\tinderwick_ software");
        SHDeleteKeyA(HKEY_CURRENT_USER, "Software\\tinderwick_ software");
    }
    std::string error;
    if (!WritePluginDir(options.pluginDir, error)) {
        std::fprintf(stderr, "sonabell-host: %s\n", error.c_str());
        return kExitCannotLoad;
    }
    PluginHost host;
    int loaded = LoadPlugin(options.dll, host, error);
    if (loaded != kExitOk) {
        std::fprintf(stderr, "sonabell-host: %s\n", error.c_str());
        return loaded;
    }

    HWND toasts = CreateToastWindow();
    StartDialogAnswers();
    host.Initialize(0, 0, 0);
    ReadPublishedInfo(host);
    std::printf("host: plug-in folder %s\n", options.pluginDir.c_str());
    std::printf("host: loaded %s: it calls itself \"%s\"\n", options.dll.c_str(),
                host.name.c_str());
    for (const PublishedCommand& command : host.commands)
        std::printf("host: menu item \"%s\" runs /%s\n", command.caption.c_str(),
                    command.name.c_str());
    std::printf("host: audio output: %s\n",
                options.audio == "device"   ? "the system's default device"
                : options.audio == "silent" ? "silent (plays in real time, nothing is heard)"
                : options.audio.compare(0, 8, "capture:") == 0
                    ? ("silent, captured to " + options.audio.substr(8)).c_str()
                    : ("the system's " + options.audio + " output only").c_str());
    std::printf("host: toasts %s\n", toasts ? "are shown" : "cannot be shown (no desktop)");
    std::fflush(stdout);

    const CaptureListener capture(
        options.audio.compare(0, 8, "capture:") == 0 ? options.audio.substr(8) : std::string());
    Chat chat(host, capture);
    std::istream& in = options.script.empty() ? std::cin : scriptFile;
    bool interactive = options.script.empty();
    std::string line;
    for (;;) {
        if (interactive) {
            std::printf("> ");
            std::fflush(stdout);
        }
        if (!std::getline(in, line))
            break;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        // Scripts may name folders through environment variables (%NAME%).
        char expanded[8192];
        DWORD length = ExpandEnvironmentStringsA(line.c_str(), expanded, sizeof expanded);
        if (length > 0 && length <= sizeof expanded)
            line = expanded;
        if (!chat.Line(line))
            break;
        Pump(0);
    }

    host.Uninitialize();
    if (PendingDialogAnswers() > 0) {
        std::printf("host: %d scripted dialog answers were never used\n", PendingDialogAnswers());
    }
    std::printf("host: the plug-in is unloaded; %d toasts shown, %d host checks failed\n",
                ToastsShown(), chat.failures());
    FreeLibrary(host.module);
    return chat.failures() ? 1 : kExitOk;
}

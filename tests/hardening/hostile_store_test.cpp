// Hostile registry contents read through the built DLL: sound values of
// every type and of sizes up to 1 MB, odd and long sub-key names, more keys
// than the table holds, and every kind of broken PluginDir.
#include "plugin_fixture.h"

#include <string>
#include <vector>

using namespace testing_support;

namespace {

const std::string kMark = "\x12SB";

std::string CyclingBytes(size_t n) {
    std::string bytes(n, '\0');
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<char>(1 + i % 255);
    return bytes;
}

void SetValue(const std::string& key, const char* name, DWORD type, const std::string& bytes) {
    HKEY handle;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &handle, nullptr));
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(handle, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())));
    RegCloseKey(handle);
}

// A sound sub-key created under the opened Sounds key, so its name alone
// counts against the 255-character limit, not the whole path.
void PutOddSound(const std::string& name, const std::string& command) {
    HKEY sounds, sound;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSoundsKey, 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &sounds, nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(sounds, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                             nullptr, &sound, nullptr))
        << name;
    for (const char* value : {"Command", "Filename", "Message"}) {
        const std::string text = std::string(value) == "Command"   ? command
                                 : std::string(value) == "Message" ? "m"
                                                                   : "odd.mp3";
        RegSetValueExA(sound, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1));
    }
    RegCloseKey(sound);
    RegCloseKey(sounds);
}

// The index field of a sound line for an index text: padded to three, the
// non-digits among the first three turned into spaces, a longer text whole.
std::string IndexField(std::string text) {
    while (text.size() < 3)
        text += ' ';
    for (size_t i = 0; i < 3; ++i)
        if (text[i] < '0' || text[i] > '9')
            text[i] = ' ';
    return text;
}

class HostileStoreTest : public PluginTest {
  protected:
    void Reload() {
        HostBuffer result;
        ASSERT_EQ(1, Command("/xSBreload", "", result));
        EXPECT_EQ("", result.text());
    }
    void ExpectLine(const std::string& word, const std::string& line, const std::string& why) {
        HostBuffer result;
        EXPECT_EQ(1, Command(word.c_str(), "", result)) << why;
        EXPECT_EQ((kMark + line).substr(0, kHostCapacity - 1), result.text()) << why;
        EXPECT_TRUE(result.tailIntact()) << why;
    }
};

TEST_F(HostileStoreTest, SoundValuesOfEveryTypeAndSize) {
    Start(true, false);
    const DWORD types[] = {REG_NONE,
                           REG_SZ,
                           REG_EXPAND_SZ,
                           REG_BINARY,
                           REG_DWORD,
                           REG_DWORD_BIG_ENDIAN,
                           REG_LINK,
                           REG_MULTI_SZ,
                           REG_RESOURCE_LIST,
                           REG_FULL_RESOURCE_DESCRIPTOR,
                           REG_RESOURCE_REQUIREMENTS_LIST,
                           REG_QWORD,
                           0x1234};
    const size_t sizes[] = {0, 1, 4, 8, 1023, 1024, 1025, 65536, 1024 * 1024};
    const std::string key = std::string(kSoundsKey) + "\\7";
    for (DWORD type : types) {
        for (size_t size : sizes) {
            const std::string why =
                "type " + std::to_string(type) + ", " + std::to_string(size) + " bytes";
            // No zero in the bytes: the whole value is the text.
            const std::string bytes = CyclingBytes(size);
            for (const char* name : {"Command", "Filename", "Message"})
                SetValue(key, name, type, bytes);
            Reload();
            const std::string before = SnapshotRegistry();
            if (size > 0)
                ExpectLine("/xSB" + bytes, "7  " + bytes, why);
            // The file name holds control bytes or is far too long: no such file.
            HostBuffer result;
            EXPECT_EQ(1, Notify("SB7", result)) << why;
            if (size > 0) {
                EXPECT_EQ(kMissingLine, result.text()) << why;
            }
            EXPECT_TRUE(result.tailIntact()) << why;
            EXPECT_EQ(before, SnapshotRegistry()) << why;
        }
    }
}

TEST_F(HostileStoreTest, ValuesStopAtTheirFirstZeroOrAreMissing) {
    const std::string key = std::string(kSoundsKey) + "\\7";
    SetValue(key, "Command", REG_BINARY, std::string("cmd\0tail", 8));
    SetValue(key, "Message", REG_MULTI_SZ, std::string("one\0two\0\0", 9));
    PutSound("8", "", "", ""); // then its values go away
    HKEY handle;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(kSoundsKey) + "\\8").c_str(), 0,
                            KEY_ALL_ACCESS, &handle));
    for (const char* name : {"Command", "Filename", "Message"})
        RegDeleteValueA(handle, name);
    RegCloseKey(handle);
    Start(true, false);
    const std::string before = SnapshotRegistry();
    ExpectLine("/xSBcmd", "7  one", "value cut at its zero");
    ExpectLine("/xSBcmd", "7  one", "again after nothing changed");
    HostBuffer missing;
    EXPECT_EQ(1, Notify("SB8", missing)); // no Filename: the sound folder itself
    EXPECT_EQ(kMissingLine, missing.text());
    EXPECT_EQ(before, SnapshotRegistry());
}

TEST_F(HostileStoreTest, SubKeyNamesLongAndOdd) {
    const std::vector<std::string> names = {
        std::string(255, '9'),
        "1" + std::string(254, 'a'),
        std::string(255, '\xE9'),
        " 7",
        "7 ",
        "07",
        "-7",
        "+7",
        "7.5",
        "1e3",
        "0x1F",
        "%s%n%x%d",
        "\xE9\xFF\x80",
        "\x01\x7F",
        "a/b",
        "*?",
        "[Sound1]",
        "CON",
        "..",
        "   ",
        "\t",
    };
    for (size_t i = 0; i < names.size(); ++i)
        PutOddSound(names[i], "odd" + std::to_string(i));
    Start(true, false);
    const std::string before = SnapshotRegistry();
    for (size_t i = 0; i < names.size(); ++i)
        ExpectLine("/xSBodd" + std::to_string(i), IndexField(names[i]) + "m", names[i]);
    // Codes name digits only: none of the odd names is found, nothing breaks.
    for (const char* code : {"SB7", "SB07", "SB999", "SB1"}) {
        HostBuffer result;
        EXPECT_EQ(1, Notify(code, result)) << code;
        EXPECT_EQ(kMissingLine, result.text()) << code;
    }
    EXPECT_EQ(before, SnapshotRegistry());
}

TEST_F(HostileStoreTest, MoreSubKeysThanTheTableHolds) {
    for (int i = 1; i <= 1010; ++i)
        PutSound(std::to_string(i), "c" + std::to_string(i), "f.mp3", "m");
    Start(true, false);
    const std::string before = SnapshotRegistry();
    int found = 0;
    for (int i = 1; i <= 1010; ++i) {
        HostBuffer result;
        const std::string word = "/xSBc" + std::to_string(i);
        if (Command(word.c_str(), "", result) == 1) {
            ++found;
            EXPECT_EQ(kMark + IndexField(std::to_string(i)) + "m", result.text());
        } else {
            EXPECT_TRUE(result.untouched());
        }
    }
    EXPECT_EQ(999, found); // the rest stays in the registry only
    Reload();
    EXPECT_EQ(before, SnapshotRegistry());
}

// PluginDir values against sound 5, whose file lies in the test's folder.
struct PluginDirCase {
    const char* what;
    DWORD type; // 0: no value at all
    std::string bytes;
    bool found; // the file in the test's folder is found
};

TEST_F(HostileStoreTest, PluginDirMissingBinaryOrTooLong) {
    folder.AddFile("5.mp3", WavBytes(50));
    const std::string dir = folder.pluginDir();
    const PluginDirCase cases[] = {
        {"terminated", REG_SZ, dir + '\0', true},
        {"no terminator", REG_SZ, dir, true},
        {"junk after the zero", REG_SZ, dir + '\0' + CyclingBytes(300), true},
        {"missing", 0, "", false},
        {"empty", REG_SZ, "", false},
        {"only a zero", REG_SZ, std::string(1, '\0'), false},
        {"binary holding the path", REG_BINARY, dir + '\0', false},
        {"multi-string holding the path", REG_MULTI_SZ, dir + '\0' + '\0', false},
        {"a number", REG_DWORD, std::string("\x05\0\0\0", 4), false},
        {"binary junk as a string", REG_SZ, CyclingBytes(300), false},
        {"longer than the path limit", REG_SZ, dir + std::string(300, '\\'), false},
        {"a long folder name", REG_SZ, "C:\\" + std::string(300, 'd') + '\0', false},
        {"64 KB", REG_SZ, std::string(64 * 1024, 'p'), false},
        {"1 MB", REG_SZ, "C:\\" + std::string(1024 * 1024, 'q'), false},
        {"unexpanded variable", REG_EXPAND_SZ, std::string("%TEMP%\\nowhere") + '\0', false},
    };
    Start(true, false);
    for (const PluginDirCase& c : cases) {
        ResetRegistry();
        WriteSwitches(true, false);
        if (c.type != 0)
            folder.SetPluginDirValue(c.type, c.bytes);
        else
            SetValue(kHostKey, "Other", REG_SZ, std::string("x") + '\0'); // the host's key only
        const std::string before = SnapshotRegistry();
        HostBuffer result;
        EXPECT_EQ(1, Notify("SB5", result)) << c.what;
        if (c.found) {
            EXPECT_EQ("", result.text()) << c.what; // found, and it plays
        } else {
            EXPECT_EQ(kMissingLine, result.text()) << c.what;
        }
        EXPECT_TRUE(result.tailIntact()) << c.what;
        EXPECT_EQ(before, SnapshotRegistry()) << c.what;
    }
}

} // namespace

// Hostile soundpack files read by the real modules with the real profile
// functions: counts that are huge, negative or garbage, values at and past
// the 2047-character cut, missing and doubled sections, binary content, and
// paths that are not files. Message boxes are answered by the UI driver.
#include "soundpack/soundpack.h"

#include "database/registry_store.h"
#include "database/sound_table.h"
#include "soundpack/diagnostics.h"

#include "clean_state.h"
#include "pack_world.h"
#include "hardening_support.h"
#include "pack_files.h"
#include "ui_driver.h"

#include <algorithm>
#include <set>
#include <string>
#include <vector>

using namespace testing_support;

namespace {

std::vector<std::string> SortedKeys() {
    std::vector<std::string> keys = SoundKeys();
    std::sort(keys.begin(), keys.end());
    return keys;
}

std::string Value(const std::string& index, const char* name) {
    std::string bytes =
        GetValue(HKEY_LOCAL_MACHINE, std::string(kSoundsKey) + "\\" + index, name).bytes;
    return bytes.substr(0, bytes.find('\0'));
}

std::string Section(int k, const std::string& body) {
    return "[Sound" + std::to_string(k) + "]\r\n" + body;
}
std::string Sound(const std::string& index, const std::string& message = "m") {
    return "SoundIndex=" + index + "\r\nCommand=c" + index + "\r\nFilename=f" + index +
           ".mp3\r\nMessage=" + message + "\r\n";
}

class HostilePackTest : public PackWorldTest {};

struct PackCase {
    const char* what;
    std::string text;
    std::set<int> results;                   // what install may return
    std::set<std::vector<std::string>> keys; // what the registry may hold afterwards
    size_t boxes;                            // number boxes shown
};

TEST_F(HostilePackTest, HostileFilesInstallOnlyWhatTheyHoldAndUninstallClean) {
    const std::string one = Section(1, Sound("1"));
    const std::string m2047(2047, 'w');
    const std::set<std::vector<std::string>> none = {{}}, justOne = {{"1"}},
                                             noneOrOne = {{}, {"1"}};
    const PackCase cases[] = {
        {"count past 32 bits", "[Header]\r\nTotalSounds=4294967296\r\n" + one, {-1, 0}, none, 0},
        {"count of twenty digits",
         "[Header]\r\nTotalSounds=99999999999999999999\r\n" + one,
         {-1, 0},
         noneOrOne,
         0},
        {"largest int", "[Header]\r\nTotalSounds=2147483647\r\n" + one, {-1}, none, 0},
        {"just past the last section name",
         "[Header]\r\nTotalSounds=100000\r\n" + one,
         {-1},
         none,
         0},
        {"smallest int", "[Header]\r\nTotalSounds=-2147483648\r\n" + one, {0}, none, 0},
        {"negative", "[Header]\r\nTotalSounds=-1\r\n" + one, {0}, none, 0},
        {"garbage", "[Header]\r\nTotalSounds=#!?\r\n" + one, {-1}, none, 0},
        {"empty count", "[Header]\r\nTotalSounds=\r\n" + one, {-1}, none, 0},
        {"digits then garbage", "[Header]\r\nTotalSounds=1zz\r\n" + one, {0}, justOne, 0},
        {"no header", one, {-1}, none, 0},
        {"empty file", "", {-1}, none, 0},
        {"header twice",
         "[Header]\r\nTotalSounds=1\r\n[Header]\r\nTotalSounds=2\r\n" + one,
         {0},
         {{"1"}},
         0},
        {"section twice",
         "[Header]\r\nTotalSounds=1\r\n" + Section(1, Sound("1")) + Section(1, Sound("2")),
         {0},
         {{"1"}, {"2"}},
         0},
        {"key twice",
         "[Header]\r\nTotalSounds=1\r\n" + Section(1, Sound("1") + Sound("2")),
         {0},
         {{"1"}, {"2"}},
         0},
        {"a missing section between two",
         "[Header]\r\nTotalSounds=3\r\n" + one + Section(3, Sound("3")),
         {0},
         {{"1", "3"}},
         1},
        {"2047-character message",
         "[Header]\r\nTotalSounds=1\r\n" + Section(1, Sound("1", m2047)),
         {0},
         justOne,
         0},
        {"5000-character message",
         "[Header]\r\nTotalSounds=1\r\n" + Section(1, Sound("1", std::string(5000, 'v'))),
         {0},
         justOne,
         0},
        {"2047-digit index",
         "[Header]\r\nTotalSounds=1\r\n" + Section(1, Sound("1" + std::string(2046, '0'))),
         {0},
         none,
         1},
        {"index that is not a number",
         "[Header]\r\nTotalSounds=1\r\n" + Section(1, Sound("x!")),
         {0},
         none,
         1},
        {"random bytes", RandomBytes(8192, 1), {-1}, none, 0},
        {"binary after a good pack",
         "[Header]\r\nTotalSounds=1\r\n" + one + RandomBytes(4096, 2),
         {0},
         noneOrOne,
         0},
        {"zero bytes inside",
         "[Header]\r\nTotalSounds=1\r\n" + one.substr(0, 20) + std::string(16, '\0') +
             one.substr(20),
         {-1, 0},
         noneOrOne,
         0},
        {"lines without equals and a 3000-character section name",
         "[Header]\r\nTotalSounds\r\nnoise\r\n[" + std::string(3000, 's') + "]\r\nx=y\r\n" + one,
         {-1},
         none,
         0},
    };
    int n = 0;
    for (const PackCase& c : cases) {
        const std::string pack = WritePack("hostile" + std::to_string(++n) + ".ini", c.text);
        UiDriver driver;
        const int result = InstallSoundpack(pack.c_str());
        EXPECT_EQ(1u, c.results.count(result)) << c.what << ": " << result;
        const std::vector<std::string> keys = SortedKeys();
        EXPECT_EQ(1u, c.keys.count(keys)) << c.what << ": " << keys.size() << " keys";
        // One report line and one number box for every sound that failed.
        EXPECT_EQ(c.boxes, driver.seen.size()) << c.what;
        EXPECT_EQ(c.boxes,
                  static_cast<size_t>(std::count(errorReport.begin(), errorReport.end(), '\n')))
            << c.what;
        EXPECT_EQ(static_cast<int>(keys.size()), soundTable.count) << c.what;
        if (std::string(c.what).find("message") != std::string::npos && !keys.empty()) {
            EXPECT_EQ(std::min<size_t>(Value("1", "Message").size(), 2047u),
                      Value("1", "Message").size())
                << c.what;
        }
        // Uninstalling the same file takes out exactly what it put in.
        EXPECT_EQ(result, UninstallSoundpack(pack.c_str())) << c.what;
        EXPECT_TRUE(SoundKeys().empty()) << c.what;
        EXPECT_EQ(0, soundTable.count) << c.what;
        ResetRegistry();
        ClearSoundTable();
        errorReport.clear();
    }
}

TEST_F(HostilePackTest, ValuesAreCutAt2047Characters) {
    const std::string pack =
        WritePack("long.ini", "[Header]\r\nTotalSounds=2\r\n" +
                                  Section(1, Sound("1", std::string(2047, 'a'))) +
                                  Section(2, "SoundIndex=2\r\nCommand=" + std::string(3000, 'c') +
                                                 "\r\nFilename=" + std::string(2048, 'f') +
                                                 "\r\nMessage=" + std::string(4000, 'm') + "\r\n"));
    UiDriver driver;
    ASSERT_EQ(kPackDone, InstallSoundpack(pack.c_str()));
    EXPECT_EQ(std::string(2047, 'a'), Value("1", "Message"));
    EXPECT_EQ(std::string(2047, 'c'), Value("2", "Command"));
    EXPECT_EQ(std::string(2047, 'f'), Value("2", "Filename"));
    EXPECT_EQ(std::string(2047, 'm'), Value("2", "Message"));
    EXPECT_TRUE(driver.seen.empty());
}

TEST_F(HostilePackTest, PathsThatAreNotReadableFiles) {
    PutSound("5", "keep", "k.mp3", "m");
    LoadSounds();
    const std::string before = SnapshotRegistry();
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string folderPath = PackFolder() + "a-folder.ini";
    CreateDirectoryA(folderPath.c_str(), nullptr);
    const std::string locked = WritePack("locked.ini", "[Header]\r\nTotalSounds=-1\r\n");
    HANDLE lock = CreateFileA(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    for (const std::string& path : {PackFolder() + "no-such-pack.ini", folderPath, locked,
                                    PackFolder() + std::string(400, 'p') + ".ini",
                                    std::string(temp) + "\x01\x02?*.ini", std::string()}) {
        UiDriver driver;
        EXPECT_EQ(kPackUnreadable, InstallSoundpack(path.c_str())) << path.size();
        EXPECT_EQ(kPackUnreadable, UninstallSoundpack(path.c_str())) << path.size();
        EXPECT_TRUE(driver.seen.empty());
        EXPECT_EQ(before, SnapshotRegistry()) << path.size();
    }
    CloseHandle(lock);
    RemoveDirectoryA(folderPath.c_str());
}

TEST_F(HostilePackTest, NegativeCountsUninstallNothing) {
    PutSound("1", "keep", "k.mp3", "m");
    LoadSounds();
    const std::string before = SnapshotRegistry();
    for (const char* total : {"-1", "-2147483648", "-99999"}) {
        const std::string pack = WritePack("negative.ini", PackText(total, {{"1", "a", "a", "a"}}));
        EXPECT_EQ(kPackDone, UninstallSoundpack(pack.c_str())) << total;
        EXPECT_EQ(before, SnapshotRegistry()) << total;
    }
}

TEST_F(HostilePackTest, IndexTextsThatAreNotNumbersAreNeverStored) {
    const std::string before = SnapshotRegistry();
    for (const char* index : {"", "abc", "0", "00", "000", "-0", "+0", " ", "x1", "1234", "99999"})
        EXPECT_EQ(kStoreInvalidIndex, AddSound(index, "c", "C:\\f.mp3", "m")) << index;
    for (int number : {-1, 1000, -2147483647 - 1, 2147483647})
        EXPECT_EQ(kStoreInvalidIndex, DeleteSoundNumber(number)) << number;
    EXPECT_EQ(before, SnapshotRegistry());
}

} // namespace

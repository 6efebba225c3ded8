// A throw-away plug-in directory with its Sonabell sound folder, named to the
// plug-in through the host's PluginDir value.
#ifndef SONABELL_TESTS_PROTOCOL_SOUND_FOLDER_H
#define SONABELL_TESTS_PROTOCOL_SOUND_FOLDER_H

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace testing_support {

class SoundFolder {
  public:
    SoundFolder();  // creates <temp>\sb-protocol-<pid>\Sonabell
    ~SoundFolder(); // removes both with everything in them
    const std::string& pluginDir() const { return pluginDir_; }
    std::string SoundPath(const std::string& name) const {
        return pluginDir_ + "\\Sonabell\\" + name;
    }
    // A file in the sound folder with the given bytes.
    // A file the real engine plays: by default a tenth of a second of quiet
    // 16-bit stereo WAV, whatever the name says.
    void AddFile(const std::string& name, const std::string& bytes = ShortWav()) const;
    static std::string ShortWav();
    // 16-bit stereo PCM WAV bytes: frames frames at rate, both channels
    // sample(i).
    static std::string StereoWav(uint32_t rate, uint32_t frames,
                                 const std::function<int16_t(uint32_t)>& sample);
    void RemoveFile(const std::string& name) const;
    // HKLM\software\Kestrune\MsgPlus2, value PluginDir, with the given type
    // and bytes.
    void SetPluginDirValue(DWORD type, const std::string& bytes) const;
    void PointHostHere() const; // PluginDir = pluginDir() as REG_SZ

  private:
    std::string pluginDir_;
};

// The folder of the module (null: the test executable) without its last
// backslash.
std::string ModuleFolder(HMODULE module);

} // namespace testing_support

#endif

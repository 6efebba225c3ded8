// Byte layouts and sizes shared with the host, which loads the 32-bit DLL.
#ifndef SONABELL_HOST_HOST_CONTRACT_H
#define SONABELL_HOST_HOST_CONTRACT_H

#include <cstddef>

// The host's result buffer for ParseCommand and ReceiveNotify holds this many
// bytes, the terminating zero included. Nothing is ever written past it.
constexpr size_t kResultCapacity = 1024;

// The CommandInfo record PublishInfo fills: three arrays of fixed-width texts.
constexpr size_t kCommandInfoMaxCommands = 50;
constexpr size_t kCommandInfoCaptionOffset = 4;
constexpr size_t kCommandInfoCaptionSize = 128;
constexpr size_t kCommandInfoNameOffset =
    kCommandInfoCaptionOffset + kCommandInfoMaxCommands * kCommandInfoCaptionSize; // 6404
constexpr size_t kCommandInfoNameSize = 128;
constexpr size_t kCommandInfoAuxOffset =
    kCommandInfoNameOffset + kCommandInfoMaxCommands * kCommandInfoNameSize; // 12804
constexpr size_t kCommandInfoAuxSize = 256;

constexpr char kPluginName[] = "Sonabell";
constexpr char kPluginVersion[] = "2.01.001";

#endif

// The host's side of the plug-in contract: where the plug-in lives, loading
// it by path and calling its entry points by name.
#ifndef SONABELL_TOOLS_PLUGIN_HOST_H
#define SONABELL_TOOLS_PLUGIN_HOST_H

#include "host/entry_points.h"

#include <string>
#include <vector>

struct PublishedCommand {
    std::string caption;
    std::string name; // without the leading slash
};

struct PluginHost : entry_points::Table {
    HMODULE module = nullptr;
    std::string name;
    std::vector<PublishedCommand> commands;
};

// Exit codes of the simulator.
enum HostExit {
    kExitOk = 0,
    kExitCannotLoad = 2, // the DLL is missing or not a loadable DLL
    kExitNotPlugin = 3,  // an entry point is missing
    kExitBadScript = 4,  // the script cannot be read
    kExitUsage = 64,
};

// Writes PluginDir under the host's key, as the host's installer does.
bool WritePluginDir(const std::string& directory, std::string& error);
// Loads the DLL and resolves every entry point; on failure, error says why
// and the result is one of the HostExit codes.
int LoadPlugin(const std::string& path, PluginHost& host, std::string& error);
// PublishInfo, decoded.
void ReadPublishedInfo(PluginHost& host);

#endif

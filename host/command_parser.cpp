#include "host/protocol.h"

#include "database/sound_table.h"
#include "host/host_contract.h"
#include "host/sound_line.h"
#include "host/subcommands.h"

namespace {
// Commands and keywords fold letter case the way the user's code page does.
bool EqualNoCaseAnsi(const char* a, const char* b) {
    return lstrcmpiA(a, b) == 0;
}
} // namespace

extern "C" int WINAPI ParseCommand(const char* commandWord, const char* parameterText, UINT_PTR,
                                   char* result) {
    if (!commandWord || !result)
        return 0;
    int keyword = -1;
    switch (FormatCommand(commandWord, parameterText ? parameterText : "", soundTable,
                          EqualNoCaseAnsi, result, kResultCapacity, &keyword)) {
    case kCommandKeyword:
        return RunSubCommand(kKeywords[keyword], result);
    case kCommandSoundLine:
        return 1;
    case kCommandDeclined:
        break;
    }
    return 0;
}

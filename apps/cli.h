#ifndef KINDORA_APPS_CLI_H
#define KINDORA_APPS_CLI_H

// A small table-driven parser for the tools' "--name value" options.
#include <cstdint>
#include <vector>

#include "settings.h"

struct CliOption {
    enum Kind { kInteger, kReal, kText, kFlag, kSize };
    const char* name;
    Kind kind;
    void* value;          // long*, double*, const char**, bool*, or int[2] for WxH
    long lo = 0, hi = 0;  // accepted range of an integer
};

// Parses argv against the table; false on an unknown option, a missing or
// malformed value, or an integer out of range.
bool ParseCli(int argc, char** argv, const std::vector<CliOption>& options);

// The fire settings that both tools take; they start as the saver's defaults.
struct FireOptions {
    long seed = 1;
    long fireRes = kDefaultFireRes;
    long burnStyle = kDefaultBurnStyle;
    long colours = kDefaultColours;
    long burnSpeed = kDefaultBurnSpeed;
    long burnDelay = kDefaultBurnDelay;
};

void AddFireOptions(FireOptions* fire, std::vector<CliOption>* options);

// The settings record the fire is set up with.
SETTINGS FireSettings(const FireOptions& fire, int32_t bgRes);

#endif

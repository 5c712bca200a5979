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

// The fire settings that both tools take, and their defaults.
struct FireOptions {
    long seed = 1;
    long fireRes = 1;
    long burnStyle = 4;
    long colours = 0;
    long burnSpeed = 20;
    long burnDelay = 20;
};

void AddFireOptions(FireOptions* fire, std::vector<CliOption>* options);

// The settings record the fire is set up with.
SETTINGS FireSettings(const FireOptions& fire, int32_t bgRes);

#endif

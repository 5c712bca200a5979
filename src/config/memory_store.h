#ifndef KINDORA_CONFIG_MEMORY_STORE_H
#define KINDORA_CONFIG_MEMORY_STORE_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "preferences.h"

// One stored value with its type.
struct MEMORYVALUE {
    enum Kind { kString, kBool, kInteger };
    Kind kind = kString;
    std::string text;
    bool flag = false;
    int32_t number = 0;
};

MEMORYVALUE StringValue(const std::string& text);
MEMORYVALUE BoolValue(bool flag);
MEMORYVALUE IntegerValue(int32_t number);
bool operator==(const MEMORYVALUE& a, const MEMORYVALUE& b);

// A preference store held in memory, for tests: it keeps its values by key,
// logs every read key and every write in order, and counts flushes. A read
// of a value of another type acts as a missing key.
struct MEMORYSTORE {
    std::map<std::string, MEMORYVALUE> values;
    std::vector<std::string> reads;
    std::vector<std::pair<std::string, MEMORYVALUE>> writes;
    int flushes = 0;
    bool flushResult = true;  // what Flush reports
};

// A store interface over `memory`, which must outlive it. Release does nothing.
PREFSTORE MemoryStoreInterface(MEMORYSTORE* memory);

#endif

#include "memory_store.h"

namespace {

MEMORYSTORE* Memory(void* context) {
    return static_cast<MEMORYSTORE*>(context);
}

// The value under `key` when it has the wanted kind, else null.
const MEMORYVALUE* Find(void* context, const char* key, MEMORYVALUE::Kind kind) {
    MEMORYSTORE* memory = Memory(context);
    memory->reads.push_back(key);
    auto found = memory->values.find(key);
    if (found == memory->values.end() || found->second.kind != kind) return nullptr;
    return &found->second;
}

bool ReadString(void* context, const char* key, std::string* value) {
    const MEMORYVALUE* found = Find(context, key, MEMORYVALUE::kString);
    if (!found) return false;
    *value = found->text;
    return true;
}

bool ReadBool(void* context, const char* key) {
    const MEMORYVALUE* found = Find(context, key, MEMORYVALUE::kBool);
    return found && found->flag;
}

int32_t ReadInteger(void* context, const char* key) {
    const MEMORYVALUE* found = Find(context, key, MEMORYVALUE::kInteger);
    return found ? found->number : 0;
}

bool Write(void* context, const char* key, const MEMORYVALUE& value) {
    MEMORYSTORE* memory = Memory(context);
    memory->values[key] = value;
    memory->writes.emplace_back(key, value);
    return true;
}

bool WriteString(void* context, const char* key, const char* value) {
    return Write(context, key, StringValue(value));
}

bool WriteBool(void* context, const char* key, bool value) {
    return Write(context, key, BoolValue(value));
}

bool WriteInteger(void* context, const char* key, int32_t value) {
    return Write(context, key, IntegerValue(value));
}

bool Flush(void* context) {
    Memory(context)->flushes++;
    return Memory(context)->flushResult;
}

}  // namespace

MEMORYVALUE StringValue(const std::string& text) {
    MEMORYVALUE value;
    value.kind = MEMORYVALUE::kString;
    value.text = text;
    return value;
}

MEMORYVALUE BoolValue(bool flag) {
    MEMORYVALUE value;
    value.kind = MEMORYVALUE::kBool;
    value.flag = flag;
    return value;
}

MEMORYVALUE IntegerValue(int32_t number) {
    MEMORYVALUE value;
    value.kind = MEMORYVALUE::kInteger;
    value.number = number;
    return value;
}

bool operator==(const MEMORYVALUE& a, const MEMORYVALUE& b) {
    return a.kind == b.kind && a.text == b.text && a.flag == b.flag && a.number == b.number;
}

PREFSTORE MemoryStoreInterface(MEMORYSTORE* memory) {
    PREFSTORE store;
    store.context = memory;
    store.ReadString = ReadString;
    store.ReadBool = ReadBool;
    store.ReadInteger = ReadInteger;
    store.WriteString = WriteString;
    store.WriteBool = WriteBool;
    store.WriteInteger = WriteInteger;
    store.Flush = Flush;
    return store;
}

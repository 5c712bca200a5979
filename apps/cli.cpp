#include "cli.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool ParseInteger(const char* text, long lo, long hi, long* out) {
    errno = 0;
    char* end = nullptr;
    const long v = strtol(text, &end, 10);
    if (errno || end == text || *end || v < lo || v > hi) return false;
    *out = v;
    return true;
}

bool ParseReal(const char* text, double* out) {
    errno = 0;
    char* end = nullptr;
    const double v = strtod(text, &end);
    if (errno || end == text || *end) return false;
    *out = v;
    return true;
}

bool ParseSize(const char* text, int* size) {
    int w = 0, h = 0;
    char tail = 0;
    if (sscanf(text, "%dx%d%c", &w, &h, &tail) != 2) return false;
    if (w < 1 || h < 1 || w > 16384 || h > 16384) return false;
    size[0] = w;
    size[1] = h;
    return true;
}

bool ParseValue(const CliOption& option, const char* text) {
    switch (option.kind) {
        case CliOption::kInteger:
            return ParseInteger(text, option.lo, option.hi, static_cast<long*>(option.value));
        case CliOption::kReal:
            return ParseReal(text, static_cast<double*>(option.value));
        case CliOption::kText:
            *static_cast<const char**>(option.value) = text;
            return true;
        case CliOption::kSize:
            return ParseSize(text, static_cast<int*>(option.value));
        case CliOption::kFlag:
            break;
    }
    return false;
}

}  // namespace

bool ParseCli(int argc, char** argv, const std::vector<CliOption>& options) {
    for (int i = 1; i < argc; ++i) {
        const CliOption* found = nullptr;
        for (const CliOption& option : options) {
            if (strcmp(argv[i], option.name) == 0) found = &option;
        }
        if (!found) return false;
        if (found->kind == CliOption::kFlag) {
            *static_cast<bool*>(found->value) = true;
            continue;
        }
        if (i + 1 >= argc || !ParseValue(*found, argv[i + 1])) return false;
        ++i;
    }
    return true;
}

void AddFireOptions(FireOptions* fire, std::vector<CliOption>* options) {
    const CliOption added[] = {
        {"--seed", CliOption::kInteger, &fire->seed, 0, UINT_MAX},
        {"--fire-res", CliOption::kInteger, &fire->fireRes, INT_MIN, INT_MAX},
        {"--burn-style", CliOption::kInteger, &fire->burnStyle, INT_MIN, INT_MAX},
        {"--colours", CliOption::kInteger, &fire->colours, INT_MIN, INT_MAX},
        {"--burn-speed", CliOption::kInteger, &fire->burnSpeed, INT_MIN, INT_MAX},
        {"--burn-delay", CliOption::kInteger, &fire->burnDelay, INT_MIN, INT_MAX},
    };
    options->insert(options->end(), added, added + sizeof added / sizeof added[0]);
}

SETTINGS FireSettings(const FireOptions& fire, int32_t bgRes) {
    return FireSettingsRecord(int32_t(fire.fireRes), int32_t(fire.burnStyle), int32_t(fire.colours),
                              int32_t(fire.burnSpeed), int32_t(fire.burnDelay), bgRes);
}

// Every desktop's picture store parser on text it did not write. The first
// byte picks the parser and the monitor (index and output name); the rest is
// the store's text. A named picture is never empty.
#include <string>
#include <vector>

#include "desktop_stores.h"
#include "fuzz_support.h"

namespace {

const char* const kOutputs[] = {"", "HDMI-1", "eDP-1", "DP-2", "0", "monitor0"};

// Names of a wallpaper package's images: one a line.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t pick = data[0];
    DesktopMonitor monitor;
    monitor.index = int(data[1] % 4) - 1;  // -1 as well: no monitor known
    monitor.outputName = kOutputs[(data[1] >> 2) % 6];
    const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
    std::string value;
    bool named = false;
    switch (pick % 11) {
        case 0:
            named = ParseXfceDesktopXml(text, monitor, &value);
            break;
        case 1:
            named = ParseBackgroundSlideshow(text, &value);
            break;
        case 2:
            named = ParsePlasmaAppletsrc(text, monitor, &value);
            break;
        case 3:
            named = PickLargestPackageImage(Lines(text), &value);
            break;
        case 4: {
            // The group and key come from the text's first two lines.
            std::vector<std::string> lines = Lines(text);
            const std::string group = lines.size() > 0 ? lines[0] : "";
            const std::string key = lines.size() > 1 ? lines[1] : "";
            ParseIniValue(text, group, key, &value);
            return 0;  // an empty value is a value
        }
        case 5:
            named = ParsePcmanfmDesktopItems(text, &value);
            break;
        case 6:
            named = ParsePcmanfmQtSettings(text, &value);
            break;
        case 7:
            named = ParseFehbg(text, monitor, &value);
            break;
        case 8:
            named = ParseNitrogenConfig(text, monitor, &value);
            break;
        default: {
            std::vector<std::string> words;
            if (SplitShellWords(text, &words)) {
                size_t total = 0;
                for (const std::string& w : words)
                    total += w.size();
                FUZZ_CHECK(total <= text.size());
            }
            return 0;
        }
    }
    if (named) FUZZ_CHECK(!value.empty());
    return 0;
}

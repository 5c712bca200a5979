// The user's ~/.xscreensaver: the grabDesktopImages lookup, and the
// programs list found, split and edited. The input is the user's file, then
// a NUL byte and the system's file. An edit keeps every other entry, adding
// and then removing Kindora gives the same entries back, and what is written
// reads back as the list that was meant.
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "programs_list.h"
#include "xscreensaver_file.h"

namespace {

const std::string kEntry = "GL: kindora --root";

std::vector<std::string> WithoutKindora(const std::vector<std::string>& entries) {
    std::vector<std::string> kept;
    for (const std::string& e : entries)
        if (!EntryRunsKindora(e)) kept.push_back(e);
    return kept;
}

// The entries of the programs list of `text`, which must parse and hold one.
std::vector<std::string> ListOf(const std::string& text) {
    PROGRAMSRESOURCE found;
    FUZZ_CHECK(FindProgramsResource(text, &found));
    FUZZ_CHECK(found.found);
    FUZZ_CHECK(found.begin <= found.end && found.end <= text.size());
    return SplitPrograms(found.value);
}

void CheckEdits(const std::string& user, const std::string& system) {
    PROGRAMSRESOURCE found;
    if (!FindProgramsResource(user, &found)) {
        std::string ignored;
        FUZZ_CHECK(ChangeProgramsList(user, system, kEntry, true, &ignored) ==
                   ListChange::kUnparsable);
        return;
    }
    FUZZ_CHECK(found.begin <= found.end && found.end <= user.size());
    std::vector<std::string> base;
    if (found.found) {
        base = SplitPrograms(found.value);
    } else {
        PROGRAMSRESOURCE stock;
        if (FindProgramsResource(system, &stock) && stock.found) base = SplitPrograms(stock.value);
    }
    for (const std::string& e : base)
        FUZZ_CHECK(!e.empty());
    const std::vector<std::string> others = WithoutKindora(base);

    std::string added;
    const ListChange add = ChangeProgramsList(user, system, kEntry, true, &added);
    FUZZ_CHECK(add == ListChange::kAdded || add == ListChange::kUnchanged);
    if (add == ListChange::kAdded) {
        FUZZ_CHECK(others.size() == base.size());
        std::vector<std::string> expected = base;
        expected.push_back(kEntry);
        FUZZ_CHECK(ListOf(added) == expected);
        std::string removed;
        FUZZ_CHECK(ChangeProgramsList(added, system, kEntry, false, &removed) ==
                   ListChange::kRemoved);
        FUZZ_CHECK(ListOf(removed) == base);
    } else {
        FUZZ_CHECK(others.size() < base.size());
    }

    std::string removed;
    const ListChange remove = ChangeProgramsList(user, system, kEntry, false, &removed);
    if (found.found && others.size() < base.size()) {
        FUZZ_CHECK(remove == ListChange::kRemoved);
        FUZZ_CHECK(ListOf(removed) == others);
    } else {
        FUZZ_CHECK(remove == ListChange::kUnchanged);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t split = input.find('\0');
    const std::string user = input.substr(0, split);
    const std::string system = split == std::string::npos ? "" : input.substr(split + 1);
    bool allowed = true;
    ParseGrabDesktopImages(user, &allowed);
    CheckEdits(user, system);
    return 0;
}

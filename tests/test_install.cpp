// Installing Kindora: its entry in XScreenSaver's programs list.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "programs_list.h"
#include "settings.h"

namespace fs = std::filesystem;

namespace {

const std::string kEntry = "GL: kindora --root";

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

fs::path Data(const char* name) {
    return fs::path(KINDORA_TEST_DATA) / "xscreensaver" / name;
}

std::vector<std::string> Programs(const std::string& text) {
    PROGRAMSRESOURCE r;
    EXPECT_TRUE(FindProgramsResource(text, &r));
    return r.found ? SplitPrograms(r.value) : std::vector<std::string>();
}

TEST(ProgramsList, ReadsTheRealFiles) {
    const std::vector<std::string> system = Programs(Slurp(Data("system-6.06")));
    ASSERT_GT(system.size(), 200u);
    EXPECT_EQ(system.front(), "maze --root");
    EXPECT_EQ(system.back().substr(0, 3), "GL:");
    const std::vector<std::string> written = Programs(Slurp(Data("written-by-settings")));
    EXPECT_EQ(written.size(), system.size());
    const std::vector<std::string> hand = Programs(Slurp(Data("hand-edited")));
    ASSERT_EQ(hand.size(), 4u);
    EXPECT_EQ(hand[0], "- \"Old Maze\"\tmaze --root");
}

TEST(ProgramsList, TellsKindorasEntriesApart) {
    for (const char* yes : {"kindora --root", "GL: kindora --root", "-  GL: \"Kindora\" kindora",
                            "GL: default: /usr/libexec/xscreensaver/kindora --root",
                            "\tGL:\t\t\t\tkindora --root --fire-res 2"}) {
        EXPECT_TRUE(EntryRunsKindora(yes)) << yes;
    }
    for (const char* no : {"maze --root", "GL: \"kindora\" maze --root", "kindora-render",
                           "GL: /opt/kindora/bin/kindorax", "\"unclosed kindora", ""}) {
        EXPECT_FALSE(EntryRunsKindora(no)) << no;
    }
}

// Added once to each real file, with every other line kept; taken out again
// it gives back the list as it was.
TEST(ProgramsList, AddAndRemoveKeepEverythingElse) {
    const std::string system = Slurp(Data("system-6.06"));
    for (const char* name : {"written-by-settings"}) {
        const std::string before = Slurp(Data(name));
        std::string added, again, removed;
        ASSERT_EQ(ChangeProgramsList(before, system, kEntry, true, &added), ListChange::kAdded);
        std::vector<std::string> list = Programs(added);
        std::vector<std::string> old = Programs(before);
        ASSERT_EQ(list.size(), old.size() + 1) << name;
        EXPECT_EQ(list.back(), kEntry);
        EXPECT_TRUE(std::equal(old.begin(), old.end(), list.begin()));
        PROGRAMSRESOURCE a, b;
        FindProgramsResource(added, &a);
        FindProgramsResource(before, &b);
        EXPECT_EQ(added.substr(0, a.begin), before.substr(0, b.begin));
        EXPECT_EQ(added.substr(a.end), before.substr(b.end));
        EXPECT_EQ(ChangeProgramsList(added, system, kEntry, true, &again), ListChange::kUnchanged);
        ASSERT_EQ(ChangeProgramsList(added, system, kEntry, false, &removed),
                  ListChange::kRemoved);
        EXPECT_EQ(Programs(removed), old);
    }
}

// The hand-edited file lists its own Kindora: adding leaves it be, removing
// takes it out with nothing else.
TEST(ProgramsList, AnEntryOfTheUsersOwnCounts) {
    const std::string before = Slurp(Data("hand-edited"));
    std::string result;
    EXPECT_EQ(ChangeProgramsList(before, "", kEntry, true, &result), ListChange::kUnchanged);
    ASSERT_EQ(ChangeProgramsList(before, "", kEntry, false, &result), ListChange::kRemoved);
    std::vector<std::string> expected = Programs(before);
    expected.erase(expected.begin() + 1);
    EXPECT_EQ(Programs(result), expected);
    EXPECT_EQ(result.rfind("! My own settings", 0), 0u);
    EXPECT_NE(result.find("! a trailing note\npointerHysteresis:  10\n"), std::string::npos);
}

// A last line ending in a backslash continues onto whatever follows it: the
// list added after it must still start a resource of its own, with or
// without a newline after the backslash.
TEST(ProgramsList, AListAddedAfterAContinuedLastLineStandsAlone) {
    const std::string system = Slurp(Data("system-6.06"));
    std::vector<std::string> expected = Programs(system);
    expected.push_back(kEntry);
    const std::string cut = Slurp(Data("last-line-continued"));
    ASSERT_EQ(cut.back(), '\\');
    for (const std::string& before : {cut, cut + "\n", std::string("\\")}) {
        std::string added, removed;
        ASSERT_EQ(ChangeProgramsList(before, system, kEntry, true, &added), ListChange::kAdded);
        EXPECT_EQ(added.rfind(before, 0), 0u);
        EXPECT_EQ(Programs(added), expected);
        ASSERT_EQ(ChangeProgramsList(added, system, kEntry, false, &removed), ListChange::kRemoved);
        EXPECT_EQ(Programs(removed), Programs(system));
    }
}

TEST(ProgramsList, AFileWithoutAListGetsTheSystemsListFirst) {
    const std::string system = Slurp(Data("system-6.06"));
    std::string result;
    ASSERT_EQ(ChangeProgramsList("timeout:\t0:05:00", system, kEntry, true, &result),
              ListChange::kAdded);
    EXPECT_EQ(result.rfind("timeout:\t0:05:00\nprograms:", 0), 0u);
    const std::vector<std::string> list = Programs(result);
    EXPECT_EQ(list.size(), Programs(system).size() + 1);
    EXPECT_EQ(list.back(), kEntry);
    EXPECT_EQ(ChangeProgramsList("timeout:\t0:05:00\n", system, kEntry, false, &result),
              ListChange::kUnchanged);
}

TEST(ProgramsList, RefusesWhatItCannotEditSafely) {
    std::string result = "untouched";
    const std::string twice = "programs: maze --root\nprograms: qix --root\n";
    EXPECT_EQ(ChangeProgramsList(twice, "", kEntry, true, &result), ListChange::kUnparsable);
    EXPECT_EQ(ChangeProgramsList(std::string("programs: a\0b", 13), "", kEntry, true, &result),
              ListChange::kUnparsable);
    EXPECT_EQ(result, "untouched");
}

struct HomeFixture : testing::Test {
    fs::path home;
    void SetUp() override {
        home = fs::path(testing::TempDir()) / ("kindora-home-" + std::to_string(getpid()));
        fs::remove_all(home);
        fs::create_directories(home);
    }
    void TearDown() override { fs::remove_all(home); }
};

TEST_F(HomeFixture, EditOnDiskKeepsTheModeABackupAndFollowsALink) {
    const fs::path real = home / "dotfiles" / "xscreensaver";
    fs::create_directories(real.parent_path());
    fs::copy_file(Data("written-by-settings"), real);
    chmod(real.c_str(), 0600);
    const fs::path user = home / ".xscreensaver";
    fs::create_symlink(real, user);
    std::string message;
    ASSERT_TRUE(EditUserProgramsList(user, Data("system-6.06"), kEntry, true, &message))
        << message;
    EXPECT_TRUE(fs::is_symlink(user));
    EXPECT_EQ(Programs(Slurp(real)).back(), kEntry);
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Slurp(real.string() + ".kindora-backup"), Slurp(Data("written-by-settings")));
    const std::string after = Slurp(real);
    ASSERT_TRUE(EditUserProgramsList(user, Data("system-6.06"), kEntry, true, &message));
    EXPECT_EQ(Slurp(real), after);  // a second time changes nothing
}

TEST_F(HomeFixture, NothingChangesWhenTheFileCannotBeParsedOrWritten) {
    const fs::path user = home / ".xscreensaver";
    const std::string twice = "programs: maze --root\nprograms: qix --root\n";
    std::ofstream(user) << twice;
    std::string message;
    EXPECT_FALSE(EditUserProgramsList(user, Data("system-6.06"), kEntry, true, &message));
    EXPECT_EQ(Slurp(user), twice);
    EXPECT_FALSE(fs::exists(user.string() + ".kindora-backup"));
    if (geteuid() != 0) {  // root writes into read-only folders anyway
        fs::remove(user);
        chmod(home.c_str(), 0500);
        EXPECT_FALSE(EditUserProgramsList(user, Data("system-6.06"), kEntry, true, &message));
        chmod(home.c_str(), 0700);
        EXPECT_FALSE(fs::exists(user));
    }
    fs::create_directory(home / "folder");
    EXPECT_FALSE(EditUserProgramsList(home / "folder", Data("system-6.06"), kEntry, true,
                                      &message));
}

// XScreenSaver's dialog puts nothing on the command line for a value equal
// to the XML's default, so each default must be the stored one; and every
// switch it can pass must be one kindora takes.
struct XMLSELECT {
    std::string id;
    std::vector<std::string> argSets;  // one per option, "" for the default
};

std::vector<XMLSELECT> Selects(const std::string& xml) {
    std::vector<XMLSELECT> selects;
    size_t at = 0;
    while ((at = xml.find("<select id=\"", at)) != std::string::npos) {
        XMLSELECT s;
        const size_t idEnd = xml.find('"', at + 12);
        s.id = xml.substr(at + 12, idEnd - at - 12);
        const size_t end = xml.find("</select>", at);
        size_t option = at;
        while ((option = xml.find("<option", option + 1)) != std::string::npos && option < end) {
            const size_t close = xml.find("/>", option);
            const std::string element = xml.substr(option, close - option);
            const size_t arg = element.find("arg-set=\"");
            s.argSets.push_back(arg == std::string::npos
                                    ? ""
                                    : element.substr(arg + 9, element.find('"', arg + 9) - arg - 9));
        }
        selects.push_back(s);
        at = end;
    }
    return selects;
}

std::string Attribute(const std::string& xml, const std::string& id, const std::string& name) {
    const size_t at = xml.find("id=\"" + id + "\"");
    const size_t value = xml.find(name + "=\"", at);
    if (at == std::string::npos || value == std::string::npos) return "";
    return xml.substr(value + name.size() + 2, xml.find('"', value + name.size() + 2) - value -
                                                   name.size() - 2);
}

TEST(XScreenSaverConfig, DefaultsAreTheStoredDefaults) {
    const std::string xml = Slurp(fs::path(KINDORA_DATA_DIR) / "kindora.xml");
    const std::pair<const char*, int32_t> defaults[] = {
        {"fire-res", kDefaultFireRes}, {"burn-style", kDefaultBurnStyle},
        {"colours", kDefaultColours},  {"bg-type", kDefaultBGType},
        {"bg-res", kDefaultBGRes}};
    const std::vector<XMLSELECT> selects = Selects(xml);
    ASSERT_EQ(selects.size(), 5u);
    std::vector<std::string> switches;
    for (const auto& d : defaults) {
        const auto found = std::find_if(selects.begin(), selects.end(),
                                        [&](const XMLSELECT& s) { return s.id == d.first; });
        ASSERT_NE(found, selects.end()) << d.first;
        for (size_t i = 0; i < found->argSets.size(); ++i) {
            const std::string& arg = found->argSets[i];
            if (int32_t(i) == d.second) {
                EXPECT_EQ(arg, "") << d.first << ": the default must pass nothing";
            } else {
                EXPECT_EQ(arg, "--" + std::string(d.first) + " " + std::to_string(i)) << d.first;
                switches.push_back(arg);
            }
        }
    }
    EXPECT_EQ(Attribute(xml, "burn-speed", "default"), std::to_string(kDefaultBurnSpeed));
    EXPECT_EQ(Attribute(xml, "burn-delay", "default"), std::to_string(kDefaultBurnDelay));
    EXPECT_EQ(Attribute(xml, "burn-speed", "arg"), "--burn-speed %");
    EXPECT_EQ(Attribute(xml, "burn-delay", "arg"), "--burn-delay %");
    EXPECT_EQ(Attribute(xml, "main-monitor-only", "arg-set"), "--main-monitor-only");
    EXPECT_EQ(Attribute(xml, "folder", "arg"), "--folder %");
    EXPECT_NE(xml.find("<command arg=\"--root\"/>"), std::string::npos);

    // kindora takes every one of them (and then only prints its version).
    std::string command = std::string(KINDORA_BINARY_DIR) + "/apps/kindora";
    for (const std::string& s : switches) command += " " + s;
    command += " --burn-speed 7 --burn-delay 99999 --main-monitor-only --folder /tmp --version";
    command += " >/dev/null";
    EXPECT_EQ(system(command.c_str()), 0) << command;
}

}  // namespace

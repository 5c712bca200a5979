#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "alert_recorder.h"
#include "memory_store.h"
#include "preferences.h"
#include "prefs_glib.h"
#include "sheet.h"

namespace fs = std::filesystem;

void PrintTo(const MEMORYVALUE& value, std::ostream* out) {
    if (value.kind == MEMORYVALUE::kString) *out << '"' << value.text << '"';
    if (value.kind == MEMORYVALUE::kBool) *out << (value.flag ? "true" : "false");
    if (value.kind == MEMORYVALUE::kInteger) *out << value.number;
}

namespace {

using Writes = std::vector<std::pair<std::string, MEMORYVALUE>>;

const char* const kLibraryFolder = "/usr/share/backgrounds/";

const Writes kDefaultWrites = {
    {"version", StringValue("1.1")}, {"MainMonitorOnly", BoolValue(false)},
    {"FireRes", IntegerValue(1)},    {"BurnStyle", IntegerValue(4)},
    {"BurnSpeed", IntegerValue(20)}, {"BurnDelay", IntegerValue(20)},
    {"Colours", IntegerValue(0)},    {"BGType", IntegerValue(0)},
    {"BGRes", IntegerValue(1)},      {"BGPath", StringValue(kLibraryFolder)},
};

// A store filled with the user's own choices in every key.
void StoreUserValues(MEMORYSTORE* memory, const MEMORYVALUE& version) {
    memory->values = {
        {"version", version},           {"MainMonitorOnly", BoolValue(true)},
        {"FireRes", IntegerValue(2)},   {"BurnStyle", IntegerValue(3)},
        {"BurnSpeed", IntegerValue(7)}, {"BurnDelay", IntegerValue(9)},
        {"Colours", IntegerValue(2)},   {"BGType", IntegerValue(2)},
        {"BGRes", IntegerValue(0)},     {"BGPath", StringValue("/home/ann/Pictures")},
    };
}

// A record full of leftovers, so that every field must be set by the load.
SETTINGS Scribbled() {
    SETTINGS settings;
    settings.FIRERES = settings.BURNSTYLE = settings.COLOURS = -5;
    settings.BURNSPEED = settings.BURNDELAY = settings.BGRES = settings.BGTYPE = -5;
    settings.LIMITFPS = true;
    SetBGPath(&settings, "leftover");
    return settings;
}

void ExpectDefaults(const SETTINGS& settings, bool mainMonitorOnly) {
    EXPECT_FALSE(mainMonitorOnly);
    EXPECT_EQ(settings.FIRERES, 1);
    EXPECT_EQ(settings.BURNSTYLE, 4);
    EXPECT_EQ(settings.COLOURS, 0);
    EXPECT_EQ(settings.BURNSPEED, 20);
    EXPECT_EQ(settings.BURNDELAY, 20);
    EXPECT_TRUE(settings.LIMITFPS);
    EXPECT_EQ(settings.BGRES, 1);
    EXPECT_EQ(settings.BGTYPE, 0);
    EXPECT_STREQ(settings.BGPath, kLibraryFolder);
}

bool SameSettings(const SETTINGS& a, const SETTINGS& b) {
    return a.FIRERES == b.FIRERES && a.BURNSTYLE == b.BURNSTYLE && a.COLOURS == b.COLOURS &&
           a.BURNSPEED == b.BURNSPEED && a.BURNDELAY == b.BURNDELAY && a.LIMITFPS == b.LIMITFPS &&
           a.BGRES == b.BGRES && a.BGTYPE == b.BGTYPE && strcmp(a.BGPath, b.BGPath) == 0;
}

TEST(LoadSettings, EmptyStoreWritesEveryDefaultInOrderAndFlushesOnce) {
    MEMORYSTORE memory;
    SETTINGS settings = Scribbled();
    bool mainMonitorOnly = true;
    EXPECT_TRUE(LoadSettings(MemoryStoreInterface(&memory), &settings, &mainMonitorOnly));
    const std::vector<std::string> readOrder = {
        "version", "MainMonitorOnly", "FireRes", "BurnSpeed", "BurnDelay",
        "Colours", "BurnStyle",       "BGType",  "BGRes",     "BGPath"};
    EXPECT_EQ(memory.reads, readOrder);
    EXPECT_EQ(memory.writes, kDefaultWrites);
    EXPECT_EQ(memory.flushes, 1);
    ExpectDefaults(settings, mainMonitorOnly);
}

TEST(LoadSettings, AnyOtherVersionResetsEveryUserValue) {
    const MEMORYVALUE versions[] = {StringValue("1.0"),
                                    StringValue("1.10"),
                                    StringValue("1.1 "),
                                    StringValue(" 1.1"),
                                    StringValue(""),
                                    StringValue("1.1.0"),
                                    StringValue(std::string("1.1\0", 4)),
                                    IntegerValue(1)};
    for (const MEMORYVALUE& version : versions) {
        SCOPED_TRACE(testing::PrintToString(version));
        MEMORYSTORE memory;
        StoreUserValues(&memory, version);
        SETTINGS settings = Scribbled();
        bool mainMonitorOnly = true;
        EXPECT_TRUE(LoadSettings(MemoryStoreInterface(&memory), &settings, &mainMonitorOnly));
        EXPECT_EQ(memory.writes, kDefaultWrites);
        EXPECT_EQ(memory.flushes, 1);
        ExpectDefaults(settings, mainMonitorOnly);
    }
}

TEST(LoadSettings, MissingVersionDropsTheOtherKeys) {
    MEMORYSTORE memory;
    StoreUserValues(&memory, StringValue("1.1"));
    memory.values.erase("version");
    SETTINGS settings;
    bool mainMonitorOnly = true;
    LoadSettings(MemoryStoreInterface(&memory), &settings, &mainMonitorOnly);
    EXPECT_EQ(memory.writes, kDefaultWrites);
    ExpectDefaults(settings, mainMonitorOnly);
}

TEST(LoadSettings, CurrentStoreIsReadAsItStandsAndNothingIsWritten) {
    MEMORYSTORE memory;
    StoreUserValues(&memory, StringValue("1.1"));
    SETTINGS settings = Scribbled();
    bool mainMonitorOnly = false;
    EXPECT_TRUE(LoadSettings(MemoryStoreInterface(&memory), &settings, &mainMonitorOnly));
    EXPECT_TRUE(memory.writes.empty());
    EXPECT_EQ(memory.flushes, 0);
    EXPECT_TRUE(mainMonitorOnly);
    EXPECT_EQ(settings.FIRERES, 2);
    EXPECT_EQ(settings.BURNSTYLE, 3);
    EXPECT_EQ(settings.BURNSPEED, 7);
    EXPECT_EQ(settings.BURNDELAY, 9);
    EXPECT_EQ(settings.COLOURS, 2);
    EXPECT_EQ(settings.BGTYPE, 2);
    EXPECT_EQ(settings.BGRES, 0);
    EXPECT_FALSE(settings.LIMITFPS);
    EXPECT_STREQ(settings.BGPath, "/home/ann/Pictures");
}

TEST(LoadSettings, StoredValuesPassUnchecked) {
    // The record keeps what is stored; FireRes 7 acts as 1 where it is used.
    for (int32_t fireRes : {2, 7, -1}) {
        MEMORYSTORE memory;
        StoreUserValues(&memory, StringValue("1.1"));
        memory.values["FireRes"] = IntegerValue(fireRes);
        SETTINGS settings;
        bool mainMonitorOnly;
        LoadSettings(MemoryStoreInterface(&memory), &settings, &mainMonitorOnly);
        EXPECT_EQ(settings.FIRERES, fireRes);
        EXPECT_TRUE(memory.writes.empty());
    }
}

TEST(LoadSettings, MissingFolderLeavesItEmpty) {
    MEMORYSTORE memory;
    StoreUserValues(&memory, StringValue("1.1"));
    memory.values.erase("BGPath");
    SETTINGS settings = Scribbled();
    bool mainMonitorOnly;
    LoadSettings(MemoryStoreInterface(&memory), &settings, &mainMonitorOnly);
    EXPECT_STREQ(settings.BGPath, "");
    EXPECT_TRUE(memory.writes.empty());
    EXPECT_EQ(memory.flushes, 0);
}

TEST(LoadSettings, LongFolderIsCutAt1023Bytes) {
    for (size_t length : {1023u, 1024u, 2000u}) {
        std::string path(length, 'p');
        path[1022] = 'E';  // the last byte that fits
        MEMORYSTORE memory;
        StoreUserValues(&memory, StringValue("1.1"));
        memory.values["BGPath"] = StringValue(path);
        SETTINGS settings;
        bool mainMonitorOnly;
        LoadSettings(MemoryStoreInterface(&memory), &settings, &mainMonitorOnly);
        EXPECT_EQ(std::string(settings.BGPath), path.substr(0, 1023));
        EXPECT_EQ(settings.BGPath[1023], '\0');
    }
}

TEST(LoadSettings, FailedResetFlushIsReportedWithDefaultsInPlace) {
    MEMORYSTORE memory;
    memory.flushResult = false;
    SETTINGS settings;
    bool mainMonitorOnly;
    EXPECT_FALSE(LoadSettings(MemoryStoreInterface(&memory), &settings, &mainMonitorOnly));
    ExpectDefaults(settings, mainMonitorOnly);
}

TEST(SaveSettings, WritesEveryKeyButVersionInOrderThenFlushesOnce) {
    MEMORYSTORE memory;
    StoreUserValues(&memory, StringValue("1.1"));
    SETTINGS settings = FireSettingsRecord(0, 2, 3, 31, 42, 2);
    settings.BGTYPE = 1;
    SetBGPath(&settings, "/record/folder");
    EXPECT_TRUE(SaveSettings(MemoryStoreInterface(&memory), settings, true, "/shown/folder"));
    const Writes expected = {
        {"MainMonitorOnly", BoolValue(true)},
        {"FireRes", IntegerValue(0)},
        {"BurnStyle", IntegerValue(2)},
        {"BurnSpeed", IntegerValue(31)},
        {"BurnDelay", IntegerValue(42)},
        {"Colours", IntegerValue(3)},
        {"BGType", IntegerValue(1)},
        {"BGRes", IntegerValue(2)},
        {"BGPath", StringValue("/shown/folder")},
    };
    EXPECT_EQ(memory.writes, expected);
    EXPECT_EQ(memory.flushes, 1);

    memory.writes.clear();
    memory.flushResult = false;
    EXPECT_FALSE(SaveSettings(MemoryStoreInterface(&memory), settings, false, nullptr));
    EXPECT_EQ(memory.writes.back().second, StringValue("/record/folder"));
}

// ---------------------------------------------------------------------------
// The key file store on disk.

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Distinct values per writer, with a long folder so each file is large.
SETTINGS WriterSettings(int writer, std::string* folder) {
    SETTINGS settings = FireSettingsRecord(writer % 3, writer % 4, writer % 4, 100 + writer,
                                           200 + writer, writer % 3);
    settings.BGTYPE = writer % 3;
    *folder = "/pictures/" + std::to_string(writer) + "/" + std::string(20000, char('a' + writer));
    SetBGPath(&settings, folder->c_str());
    return settings;
}

// Exit status of a forked child running `body`; the child never returns.
int RunInChild(const std::function<int()>& body) {
    fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class PrefFile : public testing::Test {
   protected:
    void SetUp() override {
        char pattern[] = "/tmp/kindora-prefs-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        config = pattern;
        folder = config + "/kindora";
        path = folder + "/qxKindora.conf";
    }
    void TearDown() override {
        ClosePrefStore(&store);
        chmod(folder.c_str(), 0700);
        std::error_code ignored;
        fs::remove_all(config, ignored);
    }

    bool Open() {
        ClosePrefStore(&store);
        return OpenPrefStore("qxKindora", config.c_str(), &store);
    }
    bool Load() {
        settings = SETTINGS();
        return LoadSettings(store, &settings, &mainMonitorOnly);
    }
    // Loads a fresh store from disk into `settings`.
    bool Reload() { return Open() && Load(); }

    // Every name in the folder other than the preference file itself.
    std::vector<std::string> Others() const {
        std::vector<std::string> names;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(folder, error)) {
            std::string name = entry.path().filename();
            if (name != "qxKindora.conf") names.push_back(name);
        }
        return names;
    }

    std::string config, folder, path;
    PREFSTORE store;
    SETTINGS settings;
    bool mainMonitorOnly = false;
};

TEST_F(PrefFile, EveryKeyRoundTrips) {
    ASSERT_TRUE(Reload());
    EXPECT_TRUE(settings.LIMITFPS);  // a new store was reset
    EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all);
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);

    SETTINGS saved = FireSettingsRecord(2, 3, 1, 1, 99999, 0);
    saved.BGTYPE = 2;
    const char* awkward = "  /home/zoë/My Pictures = # [x] \\n\t;end  ";
    SetBGPath(&saved, awkward);
    ASSERT_TRUE(SaveSettings(store, saved, true, awkward));

    ASSERT_TRUE(Reload());
    EXPECT_TRUE(SameSettings(settings, saved));
    EXPECT_TRUE(mainMonitorOnly);
    std::string version;
    EXPECT_TRUE(store.ReadString(store.context, "version", &version));
    EXPECT_EQ(version, "1.1");
    EXPECT_NE(ReadBytes(path).find("[qxKindora]\n"), std::string::npos);
    EXPECT_TRUE(Others().empty());  // no temporary file left behind
}

TEST_F(PrefFile, TextInNumberKeysReadsAsMissing) {
    fs::create_directories(folder);
    const std::string text =
        "# the user's note\n[qxKindora]\nversion=1.1\nMainMonitorOnly=maybe\nFireRes=seven\n"
        "BurnSpeed=99999999999\nBurnDelay=12\nBGPath=/p\n";
    WriteBytes(path, text);
    ASSERT_TRUE(Reload());
    EXPECT_FALSE(mainMonitorOnly);
    EXPECT_EQ(settings.FIRERES, 0);
    EXPECT_EQ(settings.BURNSPEED, 0);
    EXPECT_EQ(settings.BURNDELAY, 12);
    EXPECT_FALSE(settings.LIMITFPS);
    EXPECT_EQ(ReadBytes(path), text);  // nothing was written

    ASSERT_TRUE(SaveSettings(store, settings, false, "/q"));
    EXPECT_NE(ReadBytes(path).find("# the user's note"), std::string::npos);
}

struct BadCase {
    const char* name;
    std::function<void(const std::string& path)> make;
};

TEST_F(PrefFile, UnusableFilesAreMovedAsideAndTheStoreStartsOver) {
    const BadCase cases[] = {
        {"not a key file", [](const std::string& p) { WriteBytes(p, "version = 1.1\n[x\n"); }},
        {"not UTF-8",
         [](const std::string& p) { WriteBytes(p, "[qxKindora]\nBGPath=/caf\xe9\n"); }},
        {"larger than 64 KiB",
         [](const std::string& p) {
             WriteBytes(p, "[qxKindora]\nversion=1.1\n#" + std::string(65536, 'x') + "\n");
         }},
        {"a folder",
         [](const std::string& p) {
             fs::create_directory(p);
             WriteBytes(p + "/inside", "kept");
         }},
        {"a pipe", [](const std::string& p) { mkfifo(p.c_str(), 0600); }},
    };
    for (const BadCase& bad : cases) {
        SCOPED_TRACE(bad.name);
        fs::remove_all(folder);
        fs::create_directories(folder);
        bad.make(path);
        std::string before = fs::is_regular_file(path) ? ReadBytes(path) : "";

        testing::internal::CaptureStderr();
        ASSERT_TRUE(Reload());
        std::string said = testing::internal::GetCapturedStderr();

        ExpectDefaults(settings, mainMonitorOnly);
        ASSERT_EQ(Others().size(), 1u);
        std::string aside = folder + "/" + Others()[0];
        EXPECT_EQ(Others()[0].rfind("qxKindora.conf.bad-", 0), 0u);
        EXPECT_NE(said.find(aside), std::string::npos) << said;
        if (!before.empty()) {
            EXPECT_EQ(ReadBytes(aside), before);
        }
        if (fs::is_directory(aside)) {
            EXPECT_EQ(ReadBytes(aside + "/inside"), "kept");
        }
        EXPECT_TRUE(Reload());  // the reset wrote a sound file
        EXPECT_FALSE(settings.LIMITFPS);
    }
}

TEST_F(PrefFile, SecondBadFileDoesNotReplaceTheFirst) {
    fs::create_directories(folder);
    testing::internal::CaptureStderr();
    WriteBytes(path, "first\n");
    ASSERT_TRUE(Open());
    WriteBytes(path, "second\n");
    ASSERT_TRUE(Open());
    testing::internal::GetCapturedStderr();
    std::vector<std::string> contents;
    for (const std::string& name : Others())
        contents.push_back(ReadBytes(folder + "/" + name));
    std::sort(contents.begin(), contents.end());
    EXPECT_EQ(contents, (std::vector<std::string>{"first\n", "second\n"}));
}

TEST_F(PrefFile, FileOfExactly64KiBIsAccepted) {
    fs::create_directories(folder);
    std::string text = "[qxKindora]\nversion=1.1\nFireRes=2\n#";
    text += std::string(65536 - text.size() - 1, 'x') + "\n";
    ASSERT_EQ(text.size(), 65536u);
    WriteBytes(path, text);
    ASSERT_TRUE(Reload());
    EXPECT_EQ(settings.FIRERES, 2);
    EXPECT_TRUE(Others().empty());
}

// Any folder the system can name is saved and read back byte for byte; the
// key file itself holds UTF-8 only.
TEST_F(PrefFile, FolderOfAnyBytesRoundTrips) {
    ASSERT_TRUE(Reload());
    for (const char* folder : {"/caf\xe9/x", "%41 is not an escape", "/tab\there/\x7f\x80\xff",
                               "/zo\xc3\xab/%", "/surrogate/\xed\xa0\x80"}) {
        SETTINGS saved = settings;
        SetBGPath(&saved, folder);
        ASSERT_TRUE(SaveSettings(store, saved, false, nullptr)) << folder;
        ASSERT_TRUE(Reload());
        EXPECT_STREQ(settings.BGPath, folder);
        const std::string file = ReadBytes(path);
        EXPECT_NE(file.find("BGPath="), std::string::npos);
        EXPECT_EQ(file.find('\xe9'), std::string::npos);
    }
    // Plain UTF-8 is stored as it stands, for anyone reading the file.
    SETTINGS saved = settings;
    ASSERT_TRUE(SaveSettings(store, saved, false, "/home/zo\xc3\xab/Bilder"));
    EXPECT_NE(ReadBytes(path).find("BGPath=/home/zo\xc3\xab/Bilder\n"), std::string::npos);
}

TEST(FolderPath, EscapesOnlyWhatAKeyFileCannotHold) {
    EXPECT_EQ(EncodeFolderPath("/usr/share/backgrounds/"), "/usr/share/backgrounds/");
    EXPECT_EQ(EncodeFolderPath(nullptr), "");
    EXPECT_EQ(EncodeFolderPath("/caf\xe9"), "%/caf%E9");
    EXPECT_EQ(EncodeFolderPath("%7"), "%%257");
    EXPECT_EQ(EncodeFolderPath("/a\nb\xe9"), "%/a%0Ab%E9");
    // Hand-written text that is no valid escape is taken as it stands.
    for (const char* text : {"%/x%", "%/x%4", "%/x%G1", "%/x%00"}) {
        EXPECT_EQ(DecodeFolderPath(text), text);
    }
    EXPECT_EQ(DecodeFolderPath("%/caf%e9"), "/caf\xe9");
    EXPECT_EQ(DecodeFolderPath("/plain%E9"), "/plain%E9");
}

TEST_F(PrefFile, RefusedValuesLeaveTheFileSound) {
    ASSERT_TRUE(Reload());
    SETTINGS saved = settings;
    saved.FIRERES = 0;
    testing::internal::CaptureStderr();
    // A file too large to be read back is not written at all.
    std::string before = ReadBytes(path);
    saved.FIRERES = 2;
    EXPECT_FALSE(SaveSettings(store, saved, false, std::string(70000, 'f').c_str()));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(ReadBytes(path), before);
}

TEST_F(PrefFile, FolderThatCannotBeCreatedFailsTheFlush) {
    WriteBytes(folder, "a file where the folder belongs");
    testing::internal::CaptureStderr();
    ASSERT_TRUE(Open());
    EXPECT_FALSE(Load());
    testing::internal::GetCapturedStderr();
    ExpectDefaults(settings, mainMonitorOnly);
    EXPECT_EQ(ReadBytes(folder), "a file where the folder belongs");
}

// Runs `body` in a child that cannot write into `folder`: as root the child
// becomes "nobody", otherwise the folder loses its write permission.
int RunWithoutWriteAccess(const std::string& config, const std::string& folder,
                          const std::function<int()>& body) {
    chmod(config.c_str(), 0755);
    chmod(folder.c_str(), 0555);
    int status = RunInChild([&] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 77;
        return body();
    });
    chmod(folder.c_str(), 0700);
    return status;
}

TEST_F(PrefFile, UnwritableFolderFailsTheFlushAndKeepsTheOldFile) {
    std::string folderName;
    SETTINGS saved = WriterSettings(1, &folderName);
    ASSERT_TRUE(Reload());
    ASSERT_TRUE(SaveSettings(store, saved, true, folderName.c_str()));
    chmod(path.c_str(), 0644);
    std::string before = ReadBytes(path);

    int status = RunWithoutWriteAccess(config, folder, [&] {
        if (!Reload() || !SameSettings(settings, saved)) return 2;
        SETTINGS changed = saved;
        changed.FIRERES = 0;
        return SaveSettings(store, changed, false, "/elsewhere") ? 3 : 0;
    });
    if (status == 77) GTEST_SKIP() << "cannot become another user";
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_TRUE(Others().empty());
}

TEST_F(PrefFile, BadFileThatCannotBeMovedIsNeverOverwritten) {
    fs::create_directories(folder);
    WriteBytes(path, "[broken\n");
    chmod(path.c_str(), 0644);
    int status = RunWithoutWriteAccess(config, folder, [&] {
        testing::internal::CaptureStderr();
        bool opened = Open();
        bool loaded = Load();
        std::string said = testing::internal::GetCapturedStderr();
        if (!opened || loaded || !settings.LIMITFPS) return 2;
        return said.find("could not be moved aside") != std::string::npos ? 0 : 3;
    });
    if (status == 77) GTEST_SKIP() << "cannot become another user";
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadBytes(path), "[broken\n");
    EXPECT_TRUE(Others().empty());
}

TEST_F(PrefFile, LeftoverTemporaryFileIsIgnored) {
    std::string folderName;
    SETTINGS saved = WriterSettings(2, &folderName);
    ASSERT_TRUE(Reload());
    ASSERT_TRUE(SaveSettings(store, saved, false, folderName.c_str()));
    // What a writer killed before its rename leaves: half a new file.
    std::string whole = ReadBytes(path);
    WriteBytes(path + ".Q7ZK2M", whole.substr(0, whole.size() / 2));
    ASSERT_TRUE(Reload());
    EXPECT_TRUE(SameSettings(settings, saved));
}

// True when `loaded` is the state one of the writers saved.
bool IsWriterState(const SETTINGS& loaded, int writers) {
    for (int writer = 0; writer < writers; writer++) {
        std::string folderName;
        if (SameSettings(loaded, WriterSettings(writer, &folderName))) return true;
    }
    return false;
}

TEST_F(PrefFile, KilledWriterLeavesTheOldFileWhole) {
    std::string folderName;
    ASSERT_TRUE(Reload());
    SETTINGS initial = WriterSettings(0, &folderName);
    ASSERT_TRUE(SaveSettings(store, initial, false, folderName.c_str()));
    srand(7);
    for (int round = 0; round < 12; round++) {
        fflush(nullptr);
        pid_t writer = fork();
        if (writer == 0) {
            for (int n = 0;; n++) {
                SETTINGS next = WriterSettings(1 + n % 2, &folderName);
                if (!Open() || !SaveSettings(store, next, false, folderName.c_str())) _exit(1);
            }
        }
        ASSERT_GT(writer, 0);
        usleep(1000 + rand() % 20000);
        kill(writer, SIGKILL);
        waitpid(writer, nullptr, 0);

        ASSERT_TRUE(Reload());
        EXPECT_TRUE(IsWriterState(settings, 3)) << "round " << round;
        for (const std::string& name : Others()) {
            EXPECT_EQ(name.find(".bad-"), std::string::npos) << name;
        }
    }
}

TEST_F(PrefFile, ConcurrentSaversNeverReadATornFile) {
    ASSERT_TRUE(Reload());
    std::string folderName;
    SETTINGS initial = WriterSettings(0, &folderName);
    ASSERT_TRUE(SaveSettings(store, initial, false, folderName.c_str()));
    ClosePrefStore(&store);

    auto saver = [&](int self) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
        int rounds = 0;
        while (std::chrono::steady_clock::now() < end || rounds < 20) {
            if (!Reload()) return 1;
            if (!IsWriterState(settings, 3)) return 2;
            std::string own;
            SETTINGS mine = WriterSettings(self, &own);
            if (!SaveSettings(store, mine, false, own.c_str())) return 3;
            rounds++;
        }
        return 0;
    };
    fflush(nullptr);
    pid_t first = fork();
    if (first == 0) _exit(saver(1));
    int second = RunInChild([&] { return saver(2); });
    int status = 0;
    waitpid(first, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(second, 0);
    EXPECT_TRUE(Others().empty());
}

TEST(PrefStoreOpen, ModuleNamesStayInsideTheFolder) {
    PREFSTORE store;
    for (const char* name : {"", ".hidden", "..", "../escape", "a/b", "sp ace", "new\nline"}) {
        EXPECT_FALSE(OpenPrefStore(name, "/nonexistent", &store)) << name;
        EXPECT_EQ(store.context, nullptr);
    }
    EXPECT_FALSE(OpenPrefStore(nullptr, "/nonexistent", &store));
    ASSERT_TRUE(OpenPrefStore("qxKindora", "/nonexistent", &store));
    ClosePrefStore(&store);
    ClosePrefStore(&store);
}

TEST(PrefStoreOpen, ConfigFolderFollowsXdgConfigHomeWhenAbsolute) {
    const char* saved = getenv("XDG_CONFIG_HOME");
    std::string restore = saved ? saved : "";
    const char* homeDir = getenv("HOME");
    ASSERT_NE(homeDir, nullptr);
    std::string home = std::string(homeDir) + "/.config";
    setenv("XDG_CONFIG_HOME", "/srv/conf", 1);
    EXPECT_EQ(UserConfigDir(), "/srv/conf");
    setenv("XDG_CONFIG_HOME", "relative/conf", 1);
    EXPECT_EQ(UserConfigDir(), home);
    setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_EQ(UserConfigDir(), home);
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(UserConfigDir(), home);
    if (saved) setenv("XDG_CONFIG_HOME", restore.c_str(), 1);
    EXPECT_EQ(PrefFilePath("/srv/conf", "qxKindora"), "/srv/conf/kindora/qxKindora.conf");
}

}  // namespace

// ---------------------------------------------------------------------------
// The configuration sheet's actions, driven headless.

namespace {

// The platform side of a sheet, recorded: what the test answers and what the
// actions asked for.
struct FAKESHEETPLATFORM {
    MEMORYSTORE* memory = nullptr;
    bool storeOpens = true;
    int closes = 0;
    bool chooserAccepts = true;
    std::string chooserAnswer;
    std::vector<std::string> chooserCalls;  // "title|start folder"
    std::vector<std::string> commands;
    std::vector<bool> enabledStates;
};

bool FakeOpenStore(void* context, const char* module, PREFSTORE* store) {
    auto* fake = static_cast<FAKESHEETPLATFORM*>(context);
    if (!fake->storeOpens || strcmp(module, "qxKindora") != 0) return false;
    *store = MemoryStoreInterface(fake->memory);
    return true;
}

void FakeClose(void* context) {
    static_cast<FAKESHEETPLATFORM*>(context)->closes++;
}

bool FakeChooseFolder(void* context, const char* title, const char* start, std::string* chosen) {
    auto* fake = static_cast<FAKESHEETPLATFORM*>(context);
    fake->chooserCalls.push_back(std::string(title) + "|" + start);
    if (fake->chooserAccepts) *chosen = fake->chooserAnswer;
    return fake->chooserAccepts;
}

void FakeRunCommand(void* context, const char* command) {
    static_cast<FAKESHEETPLATFORM*>(context)->commands.push_back(command);
}

void FakeSetEnabled(void* context, bool enabled) {
    static_cast<FAKESHEETPLATFORM*>(context)->enabledStates.push_back(enabled);
}

// A view that has loaded a store of the user's own values, with its sheet
// open; the store's log starts empty.
class Sheet : public testing::Test {
   protected:
    void SetUp() override {
        StoreUserValues(&memory, StringValue("1.1"));
        ASSERT_TRUE(LoadSettings(MemoryStoreInterface(&memory), &settings, &mainMonitorOnly));
        memory.reads.clear();
        fake.memory = &memory;
        sheet.settings = &settings;
        sheet.mainMonitorOnly = &mainMonitorOnly;
        sheet.platform = {&fake,          FakeOpenStore, FakeClose, FakeChooseFolder,
                          FakeRunCommand, FakeSetEnabled};
        ConfigureSheetShowFields(&sheet);
    }

    MEMORYVALUE Stored(const char* key) { return memory.values[key]; }

    MEMORYSTORE memory;
    FAKESHEETPLATFORM fake;
    SETTINGS settings;
    bool mainMonitorOnly = false;
    CONFIGSHEET sheet;
};

TEST_F(Sheet, OpensOnTheViewsOwnFieldsEvenWhereTheyDifferFromTheStore) {
    settings.BGTYPE = 1;  // the view's capture failed; the store still says 2
    ConfigureSheetShowFields(&sheet);
    const SHEETCONTROLS& c = sheet.controls;
    EXPECT_TRUE(c.mainMonitorOnly);
    EXPECT_EQ(c.fireRes, 2);
    EXPECT_EQ(c.burnStyle, 3);
    EXPECT_EQ(c.burnSpeed, 7);
    EXPECT_EQ(c.burnDelay, 9);
    EXPECT_EQ(c.colours, 2);
    EXPECT_EQ(c.bgType, 1);
    EXPECT_EQ(c.bgRes, 0);
    EXPECT_EQ(c.bgPath, "/home/ann/Pictures");
    EXPECT_TRUE(fake.enabledStates.empty());

    EXPECT_TRUE(ConfigureSheetSave(&sheet));
    EXPECT_EQ(Stored("BGType"), IntegerValue(1));
    EXPECT_EQ(memory.flushes, 1);
    EXPECT_EQ(fake.closes, 1);
}

TEST_F(Sheet, ValuesWithoutAnItemShowAsTheItemTheyActAsOrPassThrough) {
    settings.FIRERES = 7;
    settings.COLOURS = -2;
    settings.BGRES = 5;
    settings.BURNSTYLE = 9;
    settings.BGTYPE = 3;
    ConfigureSheetShowFields(&sheet);
    EXPECT_EQ(sheet.controls.fireRes, 1);
    EXPECT_EQ(sheet.controls.colours, 0);
    EXPECT_EQ(sheet.controls.bgRes, 2);
    EXPECT_TRUE(ConfigureSheetSave(&sheet));
    EXPECT_EQ(Stored("FireRes"), IntegerValue(1));
    EXPECT_EQ(Stored("BurnStyle"), IntegerValue(9));
    EXPECT_EQ(Stored("BGType"), IntegerValue(3));
}

TEST_F(Sheet, SaveSetsTheViewsFieldsWritesInKeyOrderAndCloses) {
    sheet.controls = {false, 0, 55, 66, 1, 3, 0, 2, "/shown"};
    EXPECT_TRUE(ConfigureSheetSave(&sheet));
    EXPECT_FALSE(mainMonitorOnly);
    EXPECT_EQ(settings.FIRERES, 0);
    EXPECT_EQ(settings.BURNSPEED, 55);
    EXPECT_EQ(settings.BURNDELAY, 66);
    EXPECT_EQ(settings.BURNSTYLE, 1);
    EXPECT_EQ(settings.COLOURS, 3);
    EXPECT_EQ(settings.BGTYPE, 0);
    EXPECT_EQ(settings.BGRES, 2);
    // Only the folder chooser sets the record's folder.
    EXPECT_STREQ(settings.BGPath, "/home/ann/Pictures");
    const Writes expected = {
        {"MainMonitorOnly", BoolValue(false)}, {"FireRes", IntegerValue(0)},
        {"BurnStyle", IntegerValue(1)},        {"BurnSpeed", IntegerValue(55)},
        {"BurnDelay", IntegerValue(66)},       {"Colours", IntegerValue(3)},
        {"BGType", IntegerValue(0)},           {"BGRes", IntegerValue(2)},
        {"BGPath", StringValue("/shown")},
    };
    EXPECT_EQ(memory.writes, expected);
    EXPECT_EQ(memory.flushes, 1);
    EXPECT_EQ(fake.closes, 1);
}

TEST_F(Sheet, BurnValuesBelowOneAreSavedAsOne) {
    sheet.controls.burnSpeed = 0;
    sheet.controls.burnDelay = -4;
    EXPECT_TRUE(ConfigureSheetSave(&sheet));
    EXPECT_EQ(Stored("BurnSpeed"), IntegerValue(1));
    EXPECT_EQ(Stored("BurnDelay"), IntegerValue(1));
}

TEST_F(Sheet, FailedSaveTellsTheUserAndKeepsTheSheetOpen) {
    ScopedAlertRecorder recorder;
    memory.flushResult = false;
    sheet.controls.fireRes = 0;
    EXPECT_FALSE(ConfigureSheetSave(&sheet));
    fake.storeOpens = false;
    EXPECT_FALSE(ConfigureSheetSave(&sheet));
    ASSERT_EQ(recorder.alerts().size(), 2u);
    EXPECT_EQ(recorder.alerts()[0].caption, "Settings Not Saved");
    EXPECT_EQ(fake.closes, 0);
    EXPECT_EQ(sheet.controls.fireRes, 0);

    fake.storeOpens = true;
    memory.flushResult = true;
    EXPECT_TRUE(ConfigureSheetSave(&sheet));
    EXPECT_EQ(fake.closes, 1);
    EXPECT_EQ(recorder.alerts().size(), 2u);
}

TEST_F(Sheet, ChosenFolderReachesTheViewAtOnceAndSurvivesCancel) {
    fake.chooserAnswer = "/home/ann/Fires";
    ConfigureSheetBGPath(&sheet);
    ASSERT_EQ(fake.chooserCalls.size(), 1u);
    EXPECT_EQ(fake.chooserCalls[0],
              "Select Folder To Load Random Background Images From|/home/ann/Pictures");
    EXPECT_STREQ(settings.BGPath, "/home/ann/Fires");
    EXPECT_EQ(sheet.controls.bgPath, "/home/ann/Fires");

    ConfigureSheetCancel(&sheet);
    EXPECT_EQ(fake.closes, 1);
    EXPECT_TRUE(memory.writes.empty());
    EXPECT_EQ(memory.flushes, 0);
    EXPECT_EQ(Stored("BGPath"), StringValue("/home/ann/Pictures"));
    ConfigureSheetShowFields(&sheet);
    EXPECT_EQ(sheet.controls.bgPath, "/home/ann/Fires");
}

TEST_F(Sheet, CancelledChooserChangesNothing) {
    fake.chooserAccepts = false;
    fake.chooserAnswer = "/elsewhere";
    ConfigureSheetBGPath(&sheet);
    EXPECT_EQ(fake.chooserCalls.size(), 1u);
    EXPECT_STREQ(settings.BGPath, "/home/ann/Pictures");
    EXPECT_EQ(sheet.controls.bgPath, "/home/ann/Pictures");
}

TEST_F(Sheet, FolderOver1023BytesIsCutInTheViewButSavedWhole) {
    const std::string longPath = "/" + std::string(1500, 'p');
    fake.chooserAnswer = longPath;
    ConfigureSheetBGPath(&sheet);
    EXPECT_EQ(strlen(settings.BGPath), 1023u);
    EXPECT_EQ(std::string(settings.BGPath), longPath.substr(0, 1023));
    EXPECT_EQ(sheet.controls.bgPath, longPath);
    EXPECT_TRUE(ConfigureSheetSave(&sheet));
    EXPECT_EQ(Stored("BGPath"), StringValue(longPath));
}

TEST_F(Sheet, DefaultsThenSaveStoresTheDefaultsAndTheShownFolder) {
    fake.chooserAnswer = "/home/ann/Fires";
    ConfigureSheetBGPath(&sheet);
    ConfigureSheetDefaults(&sheet);
    EXPECT_TRUE(memory.writes.empty());
    EXPECT_EQ(settings.FIRERES, 2);  // no field changes before Save
    EXPECT_EQ(sheet.controls.bgPath, "/home/ann/Fires");
    EXPECT_TRUE(ConfigureSheetSave(&sheet));
    Writes expected(kDefaultWrites.begin() + 1, kDefaultWrites.end());
    expected.back().second = StringValue("/home/ann/Fires");
    EXPECT_EQ(memory.writes, expected);
}

TEST_F(Sheet, DefaultsThenCancelStoresNothingAndReopeningShowsTheView) {
    const SHEETCONTROLS before = sheet.controls;
    ConfigureSheetDefaults(&sheet);
    EXPECT_EQ(sheet.controls.burnStyle, 4);
    ConfigureSheetCancel(&sheet);
    EXPECT_TRUE(memory.writes.empty());
    ConfigureSheetShowFields(&sheet);
    EXPECT_EQ(sheet.controls.burnStyle, before.burnStyle);
    EXPECT_EQ(sheet.controls.fireRes, before.fireRes);
    EXPECT_EQ(sheet.controls.mainMonitorOnly, before.mainMonitorOnly);
}

TEST_F(Sheet, FolderButtonFollowsTheFolderTypeButNotDefaults) {
    for (int32_t type : {0, 1, 2, 3, -1}) {
        sheet.controls.bgType = type;
        ConfigureSheetUpdate(&sheet);
    }
    EXPECT_EQ(fake.enabledStates, (std::vector<bool>{false, false, true, false, false}));
    ConfigureSheetDefaults(&sheet);
    EXPECT_EQ(fake.enabledStates.size(), 5u);
}

TEST_F(Sheet, WebPageOpensThroughXdgOpenWithTheAddressQuoted) {
    ConfigureSheetOpenWebsite(&sheet);
    EXPECT_TRUE(fake.commands.empty());
    sheet.webPage = "/usr/share/kindora/it's manual.html";
    ConfigureSheetOpenWebsite(&sheet);
    ASSERT_EQ(fake.commands.size(), 1u);
    EXPECT_EQ(fake.commands[0],
              "xdg-open '/usr/share/kindora/it'\\''s manual.html' >/dev/null 2>&1 &");
}

}  // namespace

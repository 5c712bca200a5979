// The desktop picture: each store's parser over inline text, the lookup over
// files written into a scratch HOME and over GSettings held in memory, and
// the ~/.xscreensaver reader.
#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "desktop_picture.h"
#include "desktop_stores.h"
#include "gsettings_fixture.h"
#include "gsettings_store.h"
#include "store_files.h"
#include "xscreensaver_file.h"

namespace {

// GSettings from memory, with the desktops' schemas compiled for the tests;
// set before anything in the process touches GSettings.
const bool kGSettingsInMemory = [] {
    setenv("GSETTINGS_BACKEND", "memory", 1);
    setenv("GSETTINGS_SCHEMA_DIR", KINDORA_TEST_SCHEMAS, 1);
    return true;
}();

// A scratch HOME, removed with everything in it.
class TempHome {
   public:
    TempHome() {
        char pattern[] = "/tmp/kindora-desktop-XXXXXX";
        path = mkdtemp(pattern) ? pattern : "";
        place.home = path;
        place.configHome = path + "/.config";
    }
    ~TempHome() {
        if (!path.empty()) {
            nftw(
                path.c_str(),
                [](const char* p, const struct stat*, int, FTW*) { return remove(p); }, 16,
                FTW_DEPTH | FTW_PHYS);
        }
    }
    // Writes `text` at `name` under HOME, making its folders.
    std::string Write(const std::string& name, const std::string& text) const {
        const std::string full = path + "/" + name;
        for (size_t slash = full.find('/', path.size() + 1); slash != std::string::npos;
             slash = full.find('/', slash + 1)) {
            mkdir(full.substr(0, slash).c_str(), 0700);
        }
        FILE* f = fopen(full.c_str(), "wb");
        EXPECT_TRUE(f) << full;
        if (f) {
            fwrite(text.data(), 1, text.size(), f);
            fclose(f);
        }
        return full;
    }
    // The lookup's answer, or "-" when it finds none.
    std::string Find(const std::string& desktop, int index = 0, const char* output = "") {
        place.currentDesktop = desktop;
        DesktopMonitor monitor;
        monitor.index = index;
        monitor.outputName = output;
        char out[1024];
        return FindDesktopPicture(place, monitor, out, sizeof out) ? out : "-";
    }
    std::string path;
    DesktopPlace place;
};

DesktopMonitor Monitor(int index, const char* output = "") {
    DesktopMonitor m;
    m.index = index;
    m.outputName = output;
    return m;
}

// Every background key the tests set, back to its schema's default.
class Desktop : public ::testing::Test {
   protected:
    void TearDown() override {
        SetTestGSettingsString("org.gnome.desktop.interface", "color-scheme", nullptr);
        SetTestGSettingsString("org.gnome.desktop.background", "picture-uri", nullptr);
        SetTestGSettingsString("org.gnome.desktop.background", "picture-uri-dark", nullptr);
        SetTestGSettingsString("org.cinnamon.desktop.background", "picture-uri", nullptr);
        SetTestGSettingsString("org.mate.background", "picture-filename", nullptr);
    }
    TempHome home;
};

std::string XfceProperty(const std::string& monitor, const std::string& workspace,
                         const std::string& value) {
    return "<property name=\"" + monitor + "\" type=\"empty\"><property name=\"" + workspace +
           "\" type=\"empty\"><property name=\"last-image\" type=\"string\" value=\"" + value +
           "\"/></property></property>";
}

std::string XfceChannel(const std::string& monitors) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<channel name=\"xfce4-desktop\" "
           "version=\"1.0\">\n<property name=\"backdrop\" type=\"empty\"><property "
           "name=\"screen0\" type=\"empty\">" +
           monitors + "</property></property></channel>\n";
}

const char kXfcePath[] = ".config/xfce4/xfconf/xfce-perchannel-xml/xfce4-desktop.xml";

// ---------------------------------------------------------------- parsers

TEST(Parse, XfceChoosesThisMonitorThenItsNumberThenAnyMonitor) {
    const std::string channel =
        XfceChannel(XfceProperty("monitorDP-2", "workspace1", "/dp2-ws1.jpg") +
                    XfceProperty("monitorDP-2", "workspace0", "/dp2-ws0.jpg") +
                    XfceProperty("monitor1", "workspace0", "/one.jpg") +
                    XfceProperty("monitorHDMI-1", "workspace0", "") +
                    XfceProperty("monitor0", "workspace0", "/a&amp;b&#x20;&#99;.jpg"));
    const struct {
        DesktopMonitor monitor;
        const char* want;
    } cases[] = {
        {Monitor(0, "DP-2"), "/dp2-ws0.jpg"},  // workspace 0 before 1
        {Monitor(1, "eDP-1"), "/one.jpg"},     // the older numbered form
        {Monitor(0, "HDMI-1"), "/a&b c.jpg"},  // its own entry is empty
        {Monitor(5, "VGA-1"), "/dp2-ws0.jpg"},
    };
    for (const auto& c : cases) {
        std::string path;
        ASSERT_TRUE(ParseXfceDesktopXml(channel, c.monitor, &path)) << c.monitor.outputName;
        EXPECT_EQ(path, c.want) << c.monitor.outputName;
    }
    // The workspace XFCE shows on all of them, when it says so.
    std::string single = channel;
    single.insert(single.find("<property name=\"screen0\""),
                  "<property name=\"single-workspace-number\" type=\"int\" value=\"1\"/>");
    std::string path;
    ASSERT_TRUE(ParseXfceDesktopXml(single, Monitor(0, "DP-2"), &path));
    EXPECT_EQ(path, "/dp2-ws0.jpg");  // the number alone does not count
    single.insert(single.find("<property name=\"screen0\""),
                  "<property name=\"single-workspace-mode\" type=\"bool\" value=\"true\"/>");
    ASSERT_TRUE(ParseXfceDesktopXml(single, Monitor(0, "DP-2"), &path));
    EXPECT_EQ(path, "/dp2-ws1.jpg");
}

TEST(Parse, XfceRefusesBrokenOrEmptyChannels) {
    std::string path = "untouched";
    const DesktopMonitor m = Monitor(0, "DP-1");
    for (const std::string& text :
         {std::string(), std::string("not xml at all"),
          XfceChannel(XfceProperty("monitorDP-1", "workspace0", "")),
          XfceChannel(XfceProperty("monitorDP-1", "workspace0", "/x.jpg")).substr(0, 200),
          std::string("<channel><property name=\"backdrop\" value='/x.jpg'/></channel>"),
          std::string(100000, '<')}) {
        EXPECT_FALSE(ParseXfceDesktopXml(text, m, &path)) << text.substr(0, 60);
    }
    EXPECT_EQ(path, "untouched");
}

TEST(Parse, SlideshowGivesItsStillPicture) {
    const struct {
        const char* text;
        const char* want;  // null: not a slideshow
    } cases[] = {
        {"<background><starttime><year>2011</year></starttime><static><duration>10</duration>"
         "<file>/still.svg</file></static><transition><from>/a</from><to>/b</to></transition>"
         "</background>",
         "/still.svg"},
        {"<?xml version='1.0'?><!-- sizes --><background><static><file>\n"
         "<size width='1024' height='768'>/s/1024x768.svg</size>\n"
         "<size width='3840' height='2160'>/s/3840x2160.svg</size>\n"
         "<size width='1920' height='1080'>/s/1920x1080.svg</size>\n"
         "</file></static></background>",
         "/s/3840x2160.svg"},
        {"<background><file>  relative.jpg  </file><static><file>/late.jpg</file></static>"
         "</background>",
         "/late.jpg"},
        {"<background><transition><from>/a</from></transition><file>/only.jpg</file>"
         "</background>",
         "/only.jpg"},
        {"<wallpapers><wallpaper><filename>/x.jpg</filename></wallpaper></wallpapers>", nullptr},
        {"<background><static><file>/x.jpg</file></static>", "/x.jpg"},  // unclosed root
        {"<background><static><file>/x.jpg</fil", nullptr},
        {"<background><static><duration>5</duration></static></background>", nullptr},
    };
    for (const auto& c : cases) {
        std::string path;
        EXPECT_EQ(ParseBackgroundSlideshow(c.text, &path), c.want != nullptr) << c.text;
        if (c.want) {
            EXPECT_EQ(path, c.want) << c.text;
        }
    }
}

TEST(Parse, PlasmaPrefersThisScreensContainment) {
    const std::string text =
        "[ActionPlugins][0]\nRightButton;NoModifier=org.kde.contextmenu\n\n"
        "[Containments][1]\nactivityId=abc\nlastScreen=0\nplugin=org.kde.plasma.folder\n"
        "wallpaperplugin=org.kde.image\n\n"
        "[Containments][1][Wallpaper][org.kde.image][General]\n"
        "Image=file:///home/u/Pictures/first\\sone.jpg\n\n"
        "[Containments][2]\nlastScreen=1\nwallpaperplugin=org.kde.color\n"
        "[Containments][2][Wallpaper][org.kde.image][General]\nImage=/stale.jpg\n\n"
        "[Containments][3]\nlastScreen=2\n"
        "[Containments][3][Wallpaper][org.kde.image][General]\nImage[$e]=/usr/share/wallpapers/"
        "Next/\nSlidePaths=/usr/share/wallpapers/\n";
    const struct {
        int screen;
        const char* want;
    } cases[] = {{0, "file:///home/u/Pictures/first one.jpg"},
                 {1, "file:///home/u/Pictures/first one.jpg"},  // its containment shows a colour
                 {2, "/usr/share/wallpapers/Next/"},
                 {7, "file:///home/u/Pictures/first one.jpg"}};
    for (const auto& c : cases) {
        std::string image;
        ASSERT_TRUE(ParsePlasmaAppletsrc(text, Monitor(c.screen), &image)) << c.screen;
        EXPECT_EQ(image, c.want) << c.screen;
    }
    std::string image;
    EXPECT_FALSE(ParsePlasmaAppletsrc("[Containments][1]\nlastScreen=0\n", Monitor(0), &image));
    EXPECT_FALSE(
        ParsePlasmaAppletsrc("[Containments][1][Wallpaper][org.kde.image][General\n"
                             "Image=/x.jpg\n",
                             Monitor(0), &image));
}

TEST(Parse, PackageGivesItsLargestPicture) {
    std::string name;
    EXPECT_TRUE(PickLargestPackageImage(
        {"1920x1080.png", "5120x2880.jpg", "800x600.webp", "99999x99999.txt", "screenshot.png",
         "1x.png", "x1.png", "3840x2160.jpg"},
        &name));
    EXPECT_EQ(name, "5120x2880.jpg");
    EXPECT_FALSE(PickLargestPackageImage({"screenshot.png", "metadata.json", "0x0.png"}, &name));
}

TEST(Parse, FehbgWordsAsTheShellReadsThem) {
    const struct {
        const char* text;
        int monitor;
        const char* want;  // null: none
    } cases[] = {
        {"#!/bin/sh\nfeh --no-fehbg --bg-scale '/home/u/a b.jpg' \n", 0, "/home/u/a b.jpg"},
        {"feh --bg-fill '/p/it'\\''s.jpg'\n", 0, "/p/it's.jpg"},
        {"feh --bg-max --image-bg black \"/p/\\\"q\\\" \\$x.png\"", 0, "/p/\"q\" $x.png"},
        {"/usr/bin/feh --bg-center '/one.jpg' '/two.jpg'", 1, "/two.jpg"},
        {"feh --bg-center '/one.jpg' '/two.jpg'", 4, "/one.jpg"},
        {"feh --bg-tile \\\n  /joined/line.png # comment '/not.png'", 0, "/joined/line.png"},
        {"feh --bg-scale /x.jpg; xsetroot -solid black", 0, "/x.jpg"},
        {"feh --bg-scale -- -dash.jpg", 0, "-dash.jpg"},
        {"feh --bg-scale '/unclosed.jpg", 0, nullptr},
        {"#!/bin/sh\nxsetroot -solid grey\n", 0, nullptr},
    };
    for (const auto& c : cases) {
        std::string path;
        EXPECT_EQ(ParseFehbg(c.text, Monitor(c.monitor), &path), c.want != nullptr) << c.text;
        if (c.want) {
            EXPECT_EQ(path, c.want) << c.text;
        }
    }
}

TEST(Parse, IniStores) {
    const std::string nitrogen =
        "[xin_-1]\nfile=/all.jpg\nmode=5\n\n[xin_1]\nfile=/second.jpg\nbgcolor=#000000\n";
    const std::string screens = "[:0.0]\nfile=/screen.jpg\n";
    std::string path;
    EXPECT_TRUE(ParseNitrogenConfig(nitrogen, Monitor(1), &path));
    EXPECT_EQ(path, "/second.jpg");
    EXPECT_TRUE(ParseNitrogenConfig(nitrogen, Monitor(0), &path));
    EXPECT_EQ(path, "/all.jpg");
    EXPECT_TRUE(ParseNitrogenConfig(screens, Monitor(3), &path));
    EXPECT_EQ(path, "/screen.jpg");

    EXPECT_TRUE(ParsePcmanfmQtSettings(
        "[System]\nWallpaper=/wrong\n[Desktop]\n; note\nWallpaper=\"/q \\\"x\\\".png\"\n", &path));
    EXPECT_EQ(path, "/q \"x\".png");
    EXPECT_FALSE(
        ParsePcmanfmQtSettings("[Desktop]\nWallpaper=/x.png\nWallpaperMode=none\n", &path));
    EXPECT_TRUE(ParsePcmanfmDesktopItems("[*]\nwallpaper_mode=crop\nwallpaper=/w.jpg\n", &path));
    EXPECT_EQ(path, "/w.jpg");
    EXPECT_FALSE(ParsePcmanfmDesktopItems("[*]\nwallpaper_mode=color\nwallpaper=/w.jpg\n", &path));
    EXPECT_FALSE(ParsePcmanfmDesktopItems("[*]\nwallpaper=\n", &path));
}

TEST(Parse, GrabDesktopImages) {
    const struct {
        const char* text;
        int want;  // -1: absent
    } cases[] = {
        {"grabDesktopImages:\tFalse\n", 0},
        {"grabDesktopImages:  off  \n", 0},
        {"   grabDesktopImages :NO\r\n", 0},
        {"grabDesktopImages:\t0\n", 0},
        {"grabDesktopImages:\tTrue\n", 1},
        {"grabDesktopImages:\tyes\n", 1},
        {"grabDesktopImages:\tmaybe\n", 0},  // XScreenSaver reads an unknown value as False
        {"grabDesktopImages:\tFalse\ngrabDesktopImages:\tTrue\n", 1},  // the last counts
        {"! grabDesktopImages:\tFalse\n# grabDesktopImages: False\n", -1},
        {"grabdesktopimages:\tFalse\n", -1},  // resource names are case-sensitive
        {"grabDesktopImagesX:\tFalse\ngrabVideoFrames: False\n", -1},
        {"programs:\t\\\ngrabDesktopImages:\tFalse \\n\\\n  xmatrix\n", -1},  // inside a value
        {"grabDesktop\\\nImages:\tFal\\\nse\n", 0},
        {"", -1},
    };
    for (const auto& c : cases) {
        bool allowed = true;
        EXPECT_EQ(ParseGrabDesktopImages(c.text, &allowed), c.want >= 0) << c.text;
        if (c.want >= 0) {
            EXPECT_EQ(allowed, c.want == 1) << c.text;
        }
    }
}

// Every parser over damaged copies of real-looking files: cut short, bytes
// swapped for the characters the formats care about, slices doubled. None
// may crash or read out of bounds (the sanitizer build checks every read).
TEST(Parse, DamagedTextNeverBreaksTheParsers) {
    const std::vector<std::string> seeds = {
        XfceChannel(XfceProperty("monitorDP-1", "workspace0", "/a&amp;b.jpg")),
        "<?xml version='1.0'?><!-- x --><background><static><file><size width='1' "
        "height='2'>/a.svg</size></file></static><![CDATA[x]]></background>",
        "[Containments][1]\nlastScreen=0\n[Containments][1][Wallpaper][org.kde.image][General]\n"
        "Image=file:///a\\x41\\s.jpg\n",
        "#!/bin/sh\nfeh --no-fehbg --bg-fill '/a b'\\''c.jpg' \"/d\\\"e\" \\\n/f\n",
        "[xin_-1]\nfile=/n.jpg\n[Desktop]\nWallpaper=\"/q\\\"\"\n[*]\nwallpaper=/w\n",
        "grabDesktopImages:\tFalse\\\n\n! c\nprograms: \\\n  x \\n\\\n",
    };
    const char kSpecial[] = "<>\"'&;#\\[]=/\n\t\0x$!:";
    uint32_t seed = 12345;
    const auto draw = [&seed](size_t n) {
        seed = seed * 1664525u + 1013904223u;
        return n ? size_t(seed >> 8) % n : 0;
    };
    std::string path;
    bool allowed;
    std::vector<std::string> words;
    for (const std::string& original : seeds) {
        for (int round = 0; round < 400; ++round) {
            std::string text = original;
            for (int edits = 1 + int(draw(4)); edits > 0; --edits) {
                const size_t at = draw(text.size());
                switch (draw(3)) {
                    case 0:
                        text.resize(at);
                        break;
                    case 1:
                        if (at < text.size()) text[at] = kSpecial[draw(sizeof kSpecial - 1)];
                        break;
                    default:
                        text.insert(at, text.substr(at, draw(40)));
                }
            }
            for (int index : {0, 1, -1}) {
                ParseXfceDesktopXml(text, Monitor(index, "DP-1"), &path);
                ParsePlasmaAppletsrc(text, Monitor(index), &path);
                ParseFehbg(text, Monitor(index), &path);
                ParseNitrogenConfig(text, Monitor(index), &path);
            }
            ParseBackgroundSlideshow(text, &path);
            ParsePcmanfmDesktopItems(text, &path);
            ParsePcmanfmQtSettings(text, &path);
            ParseGrabDesktopImages(text, &allowed);
            SplitShellWords(text, &words);
        }
    }
}

// ---------------------------------------------------------------- files

TEST_F(Desktop, XfceFileFollowsTheMonitor) {
    home.Write(kXfcePath, XfceChannel(XfceProperty("monitorHDMI-1", "workspace0", "/hdmi.jpg") +
                                      XfceProperty("monitorDP-1", "workspace0", "/dp.jpg")));
    EXPECT_EQ(home.Find("XFCE", 0, "DP-1"), "/dp.jpg");
    EXPECT_EQ(home.Find("XFCE", 1, "HDMI-1"), "/hdmi.jpg");
    EXPECT_EQ(home.Find("", 2, ""), "/hdmi.jpg");
}

TEST_F(Desktop, TheCurrentDesktopComesFirst) {
    home.Write(kXfcePath, XfceChannel(XfceProperty("monitor0", "workspace0", "/xfce.jpg")));
    home.Write(".config/plasma-org.kde.plasma.desktop-appletsrc",
               "[Containments][4][Wallpaper][org.kde.image][General]\nImage=/kde.jpg\n");
    home.Write(".fehbg", "feh --bg-fill '/feh.jpg'\n");
    SetTestGSettingsString("org.gnome.desktop.background", "picture-uri", "file:///gnome.jpg");
    EXPECT_EQ(home.Find("KDE"), "/kde.jpg");
    EXPECT_EQ(home.Find("XFCE"), "/xfce.jpg");
    EXPECT_EQ(home.Find("ubuntu:GNOME"), "/gnome.jpg");
    EXPECT_EQ(home.Find("i3"), "/xfce.jpg");
    EXPECT_EQ(home.Find(""), "/xfce.jpg");
}

TEST_F(Desktop, OtherFileStores) {
    home.Write(".config/pcmanfm/LXDE/desktop-items-0.conf", "[*]\nwallpaper=/lxde0.jpg\n");
    home.Write(".config/pcmanfm/LXDE/desktop-items-1.conf", "[*]\nwallpaper=/lxde1.jpg\n");
    home.Write(".config/pcmanfm-qt/lxqt/settings.conf", "[Desktop]\nWallpaper=/lxqt.png\n");
    home.Write(".config/nitrogen/bg-saved.cfg", "[xin_-1]\nfile=/nitrogen.png\n");
    home.Write(".fehbg", "feh --bg-fill '/feh.jpg'\n");
    EXPECT_EQ(home.Find("LXDE", 1), "/lxde1.jpg");
    EXPECT_EQ(home.Find("LXDE", 2), "/lxde0.jpg");
    EXPECT_EQ(home.Find("LXQt"), "/lxqt.png");
    EXPECT_EQ(home.Find("i3"), "/lxqt.png");
    remove((home.path + "/.config/pcmanfm-qt/lxqt/settings.conf").c_str());
    remove((home.path + "/.config/pcmanfm/LXDE/desktop-items-0.conf").c_str());
    remove((home.path + "/.config/pcmanfm/LXDE/desktop-items-1.conf").c_str());
    EXPECT_EQ(home.Find("i3"), "/feh.jpg");
    remove((home.path + "/.fehbg").c_str());
    EXPECT_EQ(home.Find("i3"), "/nitrogen.png");
}

TEST_F(Desktop, AddressesAndHomeAreDecoded) {
    const struct {
        const char* image;
        std::string want;
    } cases[] = {
        {"file:///home/u/My%20Pictures/caf%C3%A9.jpg", "/home/u/My Pictures/café.jpg"},
        {"FILE:///upper.jpg", "/upper.jpg"},
        {"~/Pictures/mine.png", home.path + "/Pictures/mine.png"},
        {"file://remotehost/x.jpg", "-"},
        {"https://example.org/x.jpg", "-"},
        {"relative/x.jpg", "-"},
        {"file:///bad%zz.jpg", "-"},
        {"/ab", "/ab"},  // short paths are the caller's to judge
    };
    for (const auto& c : cases) {
        home.Write(".config/plasma-org.kde.plasma.desktop-appletsrc",
                   std::string("[Containments][1][Wallpaper][org.kde.image][General]\nImage=") +
                       c.image + "\n");
        EXPECT_EQ(home.Find("KDE"), c.want) << c.image;
    }
}

TEST_F(Desktop, KdePackageGivesItsLargestPicture) {
    const std::string package = home.path + "/wallpapers/Sunset/";
    home.Write("wallpapers/Sunset/metadata.json", "{}");
    home.Write("wallpapers/Sunset/contents/screenshot.png", "");
    home.Write("wallpapers/Sunset/contents/images/1920x1080.png", "");
    home.Write("wallpapers/Sunset/contents/images/3840x2160.jpg", "");
    home.Write(
        ".config/plasma-org.kde.plasma.desktop-appletsrc",
        "[Containments][1][Wallpaper][org.kde.image][General]\nImage=file://" + package + "\n");
    EXPECT_EQ(home.Find("KDE"), package + "contents/images/3840x2160.jpg");
    home.Write(".config/plasma-org.kde.plasma.desktop-appletsrc",
               "[Containments][1][Wallpaper][org.kde.image][General]\nImage=" + home.path +
                   "/wallpapers\n");  // a folder that is no package
    EXPECT_EQ(home.Find("KDE"), "-");
}

TEST_F(Desktop, SlideshowNamesItsPictureRelativeToItself) {
    home.Write("shows/day.xml",
               "<background><static><file><size width='800' height='600'>small.svg</size>"
               "<size width='2560' height='1440'>big.svg</size></file></static></background>");
    home.Write("shows/loop.xml", "<background><static><file>loop.xml</file></static></background>");
    home.Write("shows/plain.xml", "<svg/>");
    const struct {
        const char* name;
        std::string want;
    } cases[] = {{"day.xml", home.path + "/shows/big.svg"},
                 {"loop.xml", home.path + "/shows/loop.xml"},  // one level only
                 {"plain.xml", home.path + "/shows/plain.xml"}};
    for (const auto& c : cases) {
        SetTestGSettingsString("org.gnome.desktop.background", "picture-uri",
                               ("file://" + home.path + "/shows/" + c.name).c_str());
        EXPECT_EQ(home.Find("GNOME"), c.want) << c.name;
    }
}

// Missing, oversized, garbage or strange files name nothing and the search
// goes on to the next store; none of them may block.
TEST_F(Desktop, UnusableFilesAreSkipped) {
    home.Write(".fehbg", "feh --bg-fill '/feh.jpg'\n");
    std::string huge = XfceChannel(XfceProperty("monitor0", "workspace0", "/xfce.jpg"));
    huge += std::string(kMaxStoreFileBytes, ' ');
    home.Write(kXfcePath, huge);
    home.Write(".config/plasma-org.kde.plasma.desktop-appletsrc", std::string("\0\xff[[[=\n", 7));
    home.Write(".config/pcmanfm-qt/lxqt/dummy", "");
    ASSERT_EQ(mkfifo((home.path + "/.config/pcmanfm-qt/lxqt/settings.conf").c_str(), 0600), 0);
    home.Write(".config/nitrogen/dummy", "");
    ASSERT_EQ(symlink("/dev/zero", (home.path + "/.config/nitrogen/bg-saved.cfg").c_str()), 0);
    EXPECT_EQ(home.Find("XFCE"), "/feh.jpg");
    remove((home.path + "/.fehbg").c_str());
    ASSERT_EQ(mkdir((home.path + "/.fehbg").c_str(), 0700), 0);
    EXPECT_EQ(home.Find("XFCE"), "-");
    // Exactly at the cap is still read.
    std::string full = XfceChannel(XfceProperty("monitor0", "workspace0", "/xfce.jpg"));
    full += std::string(kMaxStoreFileBytes - full.size(), ' ');
    home.Write(kXfcePath, full);
    EXPECT_EQ(home.Find("XFCE"), "/xfce.jpg");
}

TEST_F(Desktop, OutputBufferBounds) {
    home.Write(".fehbg", "feh --bg-fill '/12345678.jpg'\n");  // 13 bytes
    DesktopMonitor m;
    char out[20];
    memset(out, 'x', sizeof out);
    EXPECT_TRUE(FindDesktopPicture(home.place, m, out, 14));
    EXPECT_STREQ(out, "/12345678.jpg");
    memset(out, 'x', sizeof out);
    EXPECT_FALSE(FindDesktopPicture(home.place, m, out, 13));
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(out[13], 'x');
    EXPECT_FALSE(FindDesktopPicture(home.place, m, nullptr, 0));
}

// ---------------------------------------------------------------- GSettings

TEST_F(Desktop, GnomeReadsItsKeysAndTheDarkStyle) {
    EXPECT_EQ(home.Find("GNOME"), "/usr/share/backgrounds/gnome/adwaita-l.jpg");  // the default
    ASSERT_TRUE(SetTestGSettingsString("org.gnome.desktop.background", "picture-uri",
                                       "file:///home/u/light%20one.png"));
    ASSERT_TRUE(SetTestGSettingsString("org.gnome.desktop.background", "picture-uri-dark",
                                       "file:///home/u/dark.webp"));
    EXPECT_EQ(home.Find("GNOME"), "/home/u/light one.png");
    ASSERT_TRUE(
        SetTestGSettingsString("org.gnome.desktop.interface", "color-scheme", "prefer-dark"));
    EXPECT_EQ(home.Find("GNOME"), "/home/u/dark.webp");
    ASSERT_TRUE(SetTestGSettingsString("org.gnome.desktop.background", "picture-uri-dark", ""));
    EXPECT_EQ(home.Find("GNOME"), "/home/u/light one.png");
}

// Every desktop's schemas come with GTK: a desktop that is not running counts
// only with values its user set.
TEST_F(Desktop, OtherDesktopsSettingsCountOnlyWhereSet) {
    EXPECT_EQ(home.Find("i3"), "-");
    EXPECT_EQ(home.Find("X-Cinnamon"), "/usr/share/backgrounds/linuxmint/default_background.jpg");
    ASSERT_TRUE(SetTestGSettingsString("org.cinnamon.desktop.background", "picture-uri",
                                       "file:///cinnamon.jpg"));
    EXPECT_EQ(home.Find("i3"), "/cinnamon.jpg");
    EXPECT_EQ(home.Find("XFCE"), "/cinnamon.jpg");
}

TEST_F(Desktop, MateUnexpandedDefaultIsNoPath) {
    EXPECT_EQ(home.Find("MATE"), "-");
    home.Write(".fehbg", "feh --bg-fill '/feh.jpg'\n");
    EXPECT_EQ(home.Find("MATE"), "/feh.jpg");
    ASSERT_TRUE(SetTestGSettingsString("org.mate.background", "picture-filename",
                                       "/usr/share/backgrounds/mate/nature/Wood.jpg"));
    EXPECT_EQ(home.Find("MATE"), "/usr/share/backgrounds/mate/nature/Wood.jpg");
}

TEST(GSettings, MissingSchemasAndKeysAreNoAbort) {
    std::string value = "untouched";
    EXPECT_FALSE(ReadGSettingsString("org.kindora.absent", "picture-uri", false, &value));
    EXPECT_FALSE(ReadGSettingsString("org.gnome.desktop.background", "absent", false, &value));
    EXPECT_EQ(value, "untouched");
    EXPECT_FALSE(SetTestGSettingsString("org.kindora.absent", "picture-uri", "x"));
}

// ---------------------------------------------------------------- ~/.xscreensaver

TEST(XScreenSaverFile, GrabsAreAllowedUnlessTurnedOff) {
    TempHome home;
    EXPECT_TRUE(XScreenSaverAllowsGrabs(home.path));  // no file
    EXPECT_TRUE(XScreenSaverAllowsGrabs(""));
    home.Write(".xscreensaver", "mode:\t\trandom\ngrabDesktopImages:\tFalse\n");
    EXPECT_FALSE(XScreenSaverAllowsGrabs(home.path));
    home.Write(".xscreensaver", "mode:\t\trandom\n");
    EXPECT_TRUE(XScreenSaverAllowsGrabs(home.path));
    home.Write(".xscreensaver",
               "grabDesktopImages:\tFalse\n" + std::string(kMaxStoreFileBytes, '!'));
    EXPECT_TRUE(XScreenSaverAllowsGrabs(home.path));  // too large to be XScreenSaver's
}

}  // namespace

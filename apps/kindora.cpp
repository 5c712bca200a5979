// kindora: the screen saver. Under XScreenSaver (--root, or --window-id for
// the settings preview) it draws into the window it is given; on its own it
// covers every monitor with a window of its own until a key, a click or the
// mouse moves; --window tries it out in an ordinary window.
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "desktop_picture.h"
#include "kindora_view.h"
#include "picture_decode.h"
#include "programs_list.h"
#include "x11_errors.h"
#include "x11_monitors.h"
#include "x11_view_host.h"
#include "xscreensaver_file.h"

namespace {

constexpr const char* kProgram = "kindora";
constexpr const char* kVersion = "0.1";
constexpr double kTickSeconds = 1.0 / 60.0;

enum class Mode { kStandalone, kRoot, kWindowId, kWindow };

// Switches that change one stored setting for this run only, as XScreenSaver's
// settings dialog passes them.
struct SETTINGSWITCH {
    const char* name;
    int32_t SETTINGS::*field;
    int32_t lo, hi;
};
const SETTINGSWITCH kSettingSwitches[] = {
    {"-fire-res", &SETTINGS::FIRERES, 0, 2},
    {"-burn-style", &SETTINGS::BURNSTYLE, 0, 4},
    {"-colours", &SETTINGS::COLOURS, 0, 3},
    {"-burn-speed", &SETTINGS::BURNSPEED, 1, 99999},
    {"-burn-delay", &SETTINGS::BURNDELAY, 1, 99999},
    {"-bg-type", &SETTINGS::BGTYPE, 0, 2},
    {"-bg-res", &SETTINGS::BGRES, 0, 2},
};
constexpr size_t kSettingSwitchCount = sizeof kSettingSwitches / sizeof kSettingSwitches[0];

struct OPTIONS {
    Mode mode = Mode::kStandalone;
    Window windowId = None;
    int windowSize[2] = {1280, 720};
    bool preview = false;
    bool help = false;
    bool version = false;
    int registration = 0;  // 1: --register, -1: --unregister
    bool switchGiven[kSettingSwitchCount] = {};
    int32_t switchValue[kSettingSwitchCount] = {};
    bool mainMonitorOnly = false;
    const char* folder = nullptr;
};

// The options of this run, for the settings override the views ask for.
OPTIONS runOptions;

void Usage(FILE* out) {
    fprintf(out,
            "usage: kindora [--root | --window-id ID | --window [WxH]] [--preview]\n"
            "       kindora --register | --unregister | --help | --version\n"
            "\n"
            "Burns away the picture the screen shows.\n"
            "  (no option)       full screen on every monitor; a key, a click or moving\n"
            "                    the mouse ends it\n"
            "  --root            draw into the window XScreenSaver gives\n"
            "                    ($XSCREENSAVER_WINDOW, else the virtual root, else the root)\n"
            "  --window-id ID    draw into the X window ID (hex 0x... or decimal)\n"
            "  --window [WxH]    an ordinary window, 1280x720 unless given\n"
            "  --preview         draw as the small preview does\n"
            "Settings for this run only (the stored ones stay as they are):\n"
            "  --fire-res 0-2 --burn-style 0-4 --colours 0-3 --burn-speed N --burn-delay N\n"
            "  --bg-type 0-2 --bg-res 0-2 --main-monitor-only --folder DIR\n"
            "  --register        add Kindora to XScreenSaver's list in ~/.xscreensaver\n"
            "  --unregister      take it out again\n"
            "Settings: kindora-settings. Without a display: kindora-render.\n");
}

bool ParseWindowId(const char* text, Window* out) {
    if (!text || !*text) return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long id = strtoul(text, &end, 0);
    if (errno || *end || id == 0 || text[0] == '-') return false;
    *out = Window(id);
    return true;
}

bool ParseSetting(const char* text, int32_t lo, int32_t hi, int32_t* out) {
    errno = 0;
    char* end = nullptr;
    const long v = strtol(text, &end, 10);
    if (errno || end == text || *end || v < lo || v > hi) return false;
    *out = int32_t(v);
    return true;
}

// True when `a` is a settings switch (its value taken from argv[*i + 1]);
// *ok tells whether it was well formed.
bool ParseSettingSwitch(const std::string& a, int argc, char** argv, int* i, OPTIONS* o, bool* ok) {
    *ok = true;
    if (a == "-main-monitor-only") {
        o->mainMonitorOnly = true;
        return true;
    }
    if (a == "-folder") {
        *ok = *i + 1 < argc && argv[*i + 1][0];
        if (*ok) o->folder = argv[++*i];
        return true;
    }
    for (size_t k = 0; k < kSettingSwitchCount; ++k) {
        if (a != kSettingSwitches[k].name) continue;
        *ok = *i + 1 < argc && ParseSetting(argv[++*i], kSettingSwitches[k].lo,
                                            kSettingSwitches[k].hi, &o->switchValue[k]);
        o->switchGiven[k] = true;
        return true;
    }
    return false;
}

void OverrideFromCommandLine(SETTINGS* settings, bool* mainMonitorOnly) {
    for (size_t k = 0; k < kSettingSwitchCount; ++k) {
        if (runOptions.switchGiven[k])
            settings->*kSettingSwitches[k].field = runOptions.switchValue[k];
    }
    if (runOptions.mainMonitorOnly) *mainMonitorOnly = true;
    if (runOptions.folder) SetBGPath(settings, runOptions.folder);
}

bool ParseSize(const char* text, int* size) {
    int w = 0, h = 0;
    char tail = 0;
    if (sscanf(text, "%dx%d%c", &w, &h, &tail) != 2 || w < 16 || h < 16 || w > 16384 || h > 16384) {
        return false;
    }
    size[0] = w;
    size[1] = h;
    return true;
}

// Accepts each option with one dash or two, as XScreenSaver's hacks do.
bool ParseOptions(int argc, char** argv, OPTIONS* o) {
    bool modeGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a.size() > 2 && a[0] == '-' && a[1] == '-') a.erase(0, 1);
        bool wellFormed = true;
        if (ParseSettingSwitch(a, argc, argv, &i, o, &wellFormed)) {
            if (!wellFormed) return false;
        } else if (a == "-help" || a == "-h") {
            o->help = true;
        } else if (a == "-version") {
            o->version = true;
        } else if (a == "-register" || a == "-unregister") {
            o->registration = a == "-register" ? 1 : -1;
        } else if (a == "-preview") {
            o->preview = true;
        } else if (a == "-root") {
            // The settings preview runs "--root --window-id ID": the id wins.
            if (o->mode != Mode::kWindowId) o->mode = Mode::kRoot;
            modeGiven = true;
        } else if (a == "-window-id") {
            if (i + 1 >= argc || !ParseWindowId(argv[++i], &o->windowId)) return false;
            o->mode = Mode::kWindowId;
            modeGiven = true;
        } else if (a == "-window") {
            if (modeGiven) return false;
            o->mode = Mode::kWindow;
            modeGiven = true;
            if (i + 1 < argc && argv[i + 1][0] != '-') {
                if (!ParseSize(argv[++i], o->windowSize)) return false;
            }
        } else {
            return false;
        }
    }
    return true;
}

volatile sig_atomic_t stopRequested = 0;
// Set while a long step runs that the loop cannot look in on (start-up, a
// view's set-up): a stop then ends the process at once, since nothing is
// left half-written that the system would not clean up.
volatile sig_atomic_t settingUp = 1;
int wakePipe[2] = {-1, -1};

void OnStopSignal(int) {
    if (settingUp) _exit(0);
    stopRequested = 1;
    if (wakePipe[1] >= 0) {
        const char byte = 1;
        ssize_t ignored = write(wakePipe[1], &byte, 1);
        (void)ignored;
    }
}

bool InstallSignalHandlers() {
    if (pipe(wakePipe) != 0) return false;
    for (int fd : wakePipe)
        fcntl(fd, F_SETFL, O_NONBLOCK);
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
    return true;
}

// A window XScreenSaver names, a virtual root, or the root itself.
Window HackWindow(Display* display) {
    Window given = None;
    if (ParseWindowId(getenv("XSCREENSAVER_WINDOW"), &given)) return given;
    const Window root = DefaultRootWindow(display);
    const Atom vroot = XInternAtom(display, "__SWM_VROOT", False);
    Window rootReturn = None, parent = None, *children = nullptr;
    unsigned count = 0;
    Window found = root;
    if (XQueryTree(display, root, &rootReturn, &parent, &children, &count)) {
        for (unsigned i = 0; i < count && found == root; ++i) {
            Atom type = None;
            int format = 0;
            unsigned long items = 0, after = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(display, children[i], vroot, 0, 1, False, XA_WINDOW, &type,
                                   &format, &items, &after, &data) == Success &&
                type == XA_WINDOW && items == 1 && data) {
                found = *reinterpret_cast<Window*>(data);
            }
            if (data) XFree(data);
        }
        if (children) XFree(children);
    }
    return found;
}

// The visual for a window of our own: single-buffered when the server has
// one, so each frame ends with a flush; else double-buffered.
XVisualInfo* ChooseOwnVisual(Display* display) {
    int single[] = {GLX_RGBA, GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8, None};
    int doubled[] = {GLX_RGBA, GLX_RED_SIZE,     8,   GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE,
                     8,        GLX_DOUBLEBUFFER, None};
    XVisualInfo* info = glXChooseVisual(display, DefaultScreen(display), single);
    if (!info) info = glXChooseVisual(display, DefaultScreen(display), doubled);
    return info;
}

Window CreateOwnWindow(Display* display, int x, int y, int w, int h, bool overrideRedirect) {
    XVisualInfo* info = ChooseOwnVisual(display);
    if (!info) return None;
    const Window root = DefaultRootWindow(display);
    XSetWindowAttributes a;
    memset(&a, 0, sizeof a);
    a.colormap = XCreateColormap(display, root, info->visual, AllocNone);
    a.background_pixel = BlackPixel(display, DefaultScreen(display));
    a.border_pixel = 0;
    a.override_redirect = overrideRedirect ? True : False;
    a.event_mask =
        KeyPressMask | ButtonPressMask | PointerMotionMask | StructureNotifyMask | ExposureMask;
    const unsigned long mask =
        CWColormap | CWBackPixel | CWBorderPixel | CWOverrideRedirect | CWEventMask;
    const Window window = XCreateWindow(display, root, x, y, unsigned(w), unsigned(h), 0,
                                        info->depth, InputOutput, info->visual, mask, &a);
    XFree(info);
    XStoreName(display, window, "Kindora");
    return window;
}

// An invisible pointer over the saver's own windows.
void HidePointer(Display* display, Window window) {
    static char nothing[1] = {0};
    const Pixmap blank = XCreateBitmapFromData(display, window, nothing, 1, 1);
    XColor black;
    memset(&black, 0, sizeof black);
    const Cursor cursor = XCreatePixmapCursor(display, blank, blank, &black, &black, 0, 0);
    XDefineCursor(display, window, cursor);
    XFreeCursor(display, cursor);
    XFreePixmap(display, blank);
}

const DesktopPlace& Place() {
    static const DesktopPlace place = DesktopPlaceFromProcess();
    return place;
}

bool LookUpDesktopPicture(int index, const char* monitorName, char* out, size_t size) {
    DesktopMonitor monitor;
    monitor.index = index;
    monitor.outputName = monitorName ? monitorName : "";
    return FindDesktopPicture(Place(), monitor, out, size);
}

struct RUNNINGVIEW {
    X11VIEWHOST host;
    KindoraView view;
    bool ownWindow = false;
};

class Saver {
   public:
    explicit Saver(Display* d) : display(d) {}
    bool Start(const OPTIONS& o);
    int Run();
    void Stop();

   private:
    bool AddView(Window window, bool ownWindow, bool forcePreview);
    bool StartStandalone();
    bool StartWindow(const OPTIONS& o);
    bool StartHack(Window window, bool forcePreview);
    bool HandleEvents();
    void Resized(Window window);
    void TickViews();

    Display* display;
    X11SESSION session;
    std::vector<std::unique_ptr<RUNNINGVIEW>> views;
    Atom deleteWindow = None;
    bool quitOnInput = false;
    bool pointerKnown = false;
    int pointerX = 0, pointerY = 0;
};

bool Saver::AddView(Window window, bool ownWindow, bool forcePreview) {
    auto running = std::make_unique<RUNNINGVIEW>();
    running->ownWindow = ownWindow;
    std::string error;
    if (!CreateViewHost(&session, window, &running->host, &error)) {
        fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
        if (ownWindow) XDestroyWindow(display, window);
        return false;
    }
    const X11VIEWHOST& host = running->host;
    const X11MONITOR& monitor = session.monitors[size_t(ViewMonitor(host))];
    // A window much smaller than its monitor is the settings' preview.
    const bool preview =
        forcePreview || host.width * 2 < monitor.width || host.height * 2 < monitor.height;
    if (!running->view.initWithFrame(ViewFrame(host), preview, X11HostPlatform(&running->host))) {
        fprintf(stderr, "%s: the view could not be created\n", kProgram);
        DestroyViewHost(&running->host);
        return false;
    }
    views.push_back(std::move(running));
    return true;
}

bool Saver::StartStandalone() {
    quitOnInput = true;
    // Every view captures its monitor before any of our windows shows.
    for (const X11MONITOR& m : session.monitors) {
        const Window window = CreateOwnWindow(display, m.x, m.y, m.width, m.height, true);
        if (window == None || !AddView(window, true, false)) return false;
        if (stopRequested) return true;
    }
    for (auto& v : views) {
        HidePointer(display, v->host.window);
        XMapRaised(display, v->host.window);
    }
    XSync(display, False);
    const Window first = views.front()->host.window;
    for (int tries = 0; tries < 20; ++tries) {
        if (XGrabKeyboard(display, first, True, GrabModeAsync, GrabModeAsync, CurrentTime) ==
            GrabSuccess) {
            break;
        }
        usleep(10000);  // the window may not be viewable yet
    }
    XGrabPointer(display, first, True, ButtonPressMask | PointerMotionMask, GrabModeAsync,
                 GrabModeAsync, None, None, CurrentTime);
    return true;
}

bool Saver::StartWindow(const OPTIONS& o) {
    const Window window = CreateOwnWindow(display, 0, 0, o.windowSize[0], o.windowSize[1], false);
    if (window == None) return false;
    deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &deleteWindow, 1);
    if (!AddView(window, true, o.preview)) return false;
    XMapRaised(display, window);
    return true;
}

bool Saver::StartHack(Window window, bool forcePreview) {
    // Resizes, exposures and the window's end come as events on it.
    TrapXErrors(display);
    XSelectInput(display, window, StructureNotifyMask | ExposureMask);
    if (UntrapXErrors(display)) {
        fprintf(stderr, "%s: there is no window 0x%lx\n", kProgram, window);
        return false;
    }
    return AddView(window, false, forcePreview);
}

bool Saver::Start(const OPTIONS& o) {
    session.display = display;
    session.monitors = ListMonitors(display);
    session.FindDesktopPicture = LookUpDesktopPicture;
    session.OverrideSettings = OverrideFromCommandLine;
    // The user may have refused screen grabs in XScreenSaver's settings.
    session.grabsAllowed = XScreenSaverAllowsGrabs(Place().home);
    // Vector desktop pictures are drawn at the largest monitor's size.
    uint32_t wide = 0, high = 0;
    for (const X11MONITOR& m : session.monitors) {
        wide = std::max(wide, uint32_t(m.width));
        high = std::max(high, uint32_t(m.height));
    }
    SetVectorPictureSize(wide, high);
    if (o.mode == Mode::kStandalone) return StartStandalone();
    if (o.mode == Mode::kWindow) return StartWindow(o);
    const Window window = o.mode == Mode::kWindowId ? o.windowId : HackWindow(display);
    return StartHack(window, o.preview);
}

void Saver::Resized(Window window) {
    for (auto& v : views) {
        if (v->host.window != window) continue;
        if (!UpdateWindowPlace(&v->host)) continue;
        if (float(v->host.width) != v->view.bounds().width ||
            float(v->host.height) != v->view.bounds().height) {
            v->view.setFrameSize(float(v->host.width), float(v->host.height));
        }
    }
}

// False when the saver should end.
bool Saver::HandleEvents() {
    while (XPending(display)) {
        XEvent event;
        XNextEvent(display, &event);
        switch (event.type) {
            case KeyPress:
            case ButtonPress:
                if (quitOnInput) return false;
                if (event.type == KeyPress) {
                    const KeySym key = XLookupKeysym(&event.xkey, 0);
                    if (deleteWindow != None && (key == XK_Escape || key == XK_q)) return false;
                }
                break;
            case MotionNotify:
                if (!quitOnInput) break;
                // A nudge of a few pixels is the desk shaking, not the user.
                if (!pointerKnown) {
                    pointerKnown = true;
                    pointerX = event.xmotion.x_root;
                    pointerY = event.xmotion.y_root;
                } else if (std::abs(event.xmotion.x_root - pointerX) +
                               std::abs(event.xmotion.y_root - pointerY) >
                           10) {
                    return false;
                }
                break;
            case ConfigureNotify:
                Resized(event.xconfigure.window);
                break;
            case Expose:  // what was covered must be drawn again
                for (auto& v : views) {
                    if (v->host.window == event.xexpose.window) v->host.exposed = true;
                }
                break;
            case DestroyNotify:
                for (auto& v : views) {
                    if (v->host.window == event.xdestroywindow.window) return false;
                }
                break;
            case ClientMessage:
                if (deleteWindow != None && Atom(event.xclient.data.l[0]) == deleteWindow) {
                    return false;
                }
                break;
            default:
                break;
        }
    }
    return true;
}

void Saver::TickViews() {
    for (auto& v : views) {
        if (stopRequested) return;
        if (!v->view.animating) continue;
        settingUp = !v->view.initialized;
        v->view.animateOneFrame();
        settingUp = 0;
        if (stopRequested) return;
    }
    XFlush(display);
}

int Saver::Run() {
    for (auto& v : views) {
        v->view.startAnimation();
    }
    settingUp = 0;
    const int xfd = ConnectionNumber(display);
    double deadline = MonotonicSeconds();
    while (!stopRequested) {
        if (!HandleEvents()) break;
        const double now = MonotonicSeconds();
        if (now >= deadline) {
            TickViews();
            // Absolute deadlines keep the rate; a late tick does not make
            // the next ones crowd in behind it.
            deadline += kTickSeconds;
            if (deadline < now) deadline = now + kTickSeconds;
            continue;
        }
        const double wait = deadline - now;
        timespec timeout;
        timeout.tv_sec = time_t(wait);
        timeout.tv_nsec = long((wait - double(timeout.tv_sec)) * 1e9);
        pollfd fds[2] = {{xfd, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
        ppoll(fds, 2, &timeout, nullptr);
        if (fds[1].revents & POLLIN) {
            char drain[16];
            while (read(wakePipe[0], drain, sizeof drain) > 0) {
            }
        }
    }
    return 0;
}

void Saver::Stop() {
    for (auto& v : views) {
        v->view.dealloc();
        DestroyViewHost(&v->host);
        if (v->ownWindow) XDestroyWindow(display, v->host.window);
    }
    views.clear();
    XSync(display, False);
}

// The programs entry that runs this executable: by name when it is the
// hack XScreenSaver finds on its own path, else by its full path.
bool HackEntry(std::string* entry, std::string* why) {
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) {
        *why = "cannot tell where this program lies";
        return false;
    }
    exe[n] = '\0';
    std::string command = exe;
    if (command == "/usr/libexec/xscreensaver/kindora") command = "kindora";
    if (command.find_first_of(" \t\n\"'\\$") != std::string::npos) {
        *why = "its path holds blanks or quotes, which XScreenSaver's list cannot hold: " + command;
        return false;
    }
    *entry = "GL: " + command + " --root";
    return true;
}

int Register(bool add) {
    const char* home = getenv("HOME");
    if (!home || home[0] != '/') {
        const passwd* user = getpwuid(getuid());
        home = user ? user->pw_dir : nullptr;
    }
    if (!home) {
        fprintf(stderr, "%s: no home folder to find ~/.xscreensaver in\n", kProgram);
        return 1;
    }
    std::string entry, message;
    if (add && !HackEntry(&entry, &message)) {
        fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
        return 1;
    }
    const bool done =
        EditUserProgramsList(std::string(home) + "/.xscreensaver",
                             "/etc/X11/app-defaults/XScreenSaver", entry, add, &message);
    fprintf(done ? stdout : stderr, "%s: %s\n", kProgram, message.c_str());
    return done ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    // First of all, so that a stop asked for during start-up is honoured.
    InstallSignalHandlers();
    OPTIONS& o = runOptions;
    if (!ParseOptions(argc, argv, &o)) {
        Usage(stderr);
        return 2;
    }
    if (o.help) {
        Usage(stdout);
        return 0;
    }
    if (o.version) {
        printf("kindora %s\n", kVersion);
        return 0;
    }
    if (o.registration) return Register(o.registration > 0);
    // Hosts such as xsecurelock and MATE's hand over their window only
    // through the environment.
    if (o.mode == Mode::kStandalone && getenv("XSCREENSAVER_WINDOW")) o.mode = Mode::kRoot;
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        const char* name = getenv("DISPLAY");
        fprintf(stderr,
                "%s: cannot open the X display \"%s\"; without a display, kindora-render "
                "draws the saver into PNG files\n",
                kProgram, name ? name : "");
        return 1;
    }
    if (!DisplayHasGLX(display)) {
        fprintf(stderr, "%s: the X server has no GLX extension, so OpenGL cannot draw here\n",
                kProgram);
        XCloseDisplay(display);
        return 1;
    }
    InstallQuietXErrorHandlers(kProgram, &stopRequested);
    InstallPlatformPictureDecoder();
    int status = 0;
    {
        Saver saver(display);
        if (!saver.Start(o)) {
            status = 1;
        } else if (!stopRequested) {
            status = saver.Run();
        }
        saver.Stop();
    }
    XCloseDisplay(display);
    return status;
}

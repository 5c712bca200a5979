#include "x11_errors.h"

#include <unistd.h>

#include <cstdio>

namespace {

const char* programName = "kindora";
volatile const int* stopFlag = nullptr;
bool trapping = false;
int trappedErrors = 0;

bool Stopping() {
    return stopFlag && *stopFlag;
}

int OnXError(Display* display, XErrorEvent* event) {
    if (trapping) {
        ++trappedErrors;
        return 0;
    }
    if (!Stopping()) {
        char text[128] = "";
        XGetErrorText(display, event->error_code, text, sizeof text);
        fprintf(stderr, "%s: the window went away (%s); stopping\n", programName, text);
    }
    _exit(0);
}

int OnXIOError(Display*) {
    if (!Stopping())
        fprintf(stderr, "%s: lost the connection to the X server; stopping\n", programName);
    _exit(0);
}

}  // namespace

void InstallQuietXErrorHandlers(const char* program, volatile const int* stopRequested) {
    programName = program;
    stopFlag = stopRequested;
    XSetErrorHandler(OnXError);
    XSetIOErrorHandler(OnXIOError);
}

void TrapXErrors(Display* display) {
    XSync(display, False);
    trapping = true;
    trappedErrors = 0;
}

bool UntrapXErrors(Display* display) {
    XSync(display, False);
    trapping = false;
    return trappedErrors != 0;
}

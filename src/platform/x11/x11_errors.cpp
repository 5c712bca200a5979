#include "x11_errors.h"

#include <unistd.h>

#include <cstdio>

namespace {

const char* programName = "kindora";
volatile const int* stopFlag = nullptr;
int trappedErrors = 0;
XErrorHandler handlerBeforeTrap = nullptr;

bool Stopping() {
    return stopFlag && *stopFlag;
}

int CountXError(Display*, XErrorEvent*) {
    ++trappedErrors;
    return 0;
}

int OnXError(Display* display, XErrorEvent* event) {
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
    trappedErrors = 0;
    handlerBeforeTrap = XSetErrorHandler(CountXError);
}

bool UntrapXErrors(Display* display) {
    XSync(display, False);
    XSetErrorHandler(handlerBeforeTrap);
    return trappedErrors != 0;
}

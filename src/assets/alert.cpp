#include "alert.h"

#include <cstdio>

namespace {

AlertHandler currentHandler = StderrAlert;

}  // namespace

void StderrAlert(const char* text, const char* caption) {
    fprintf(stderr, "%s: %s\n", caption, text);
    fflush(stderr);
}

AlertHandler SetAlertHandler(AlertHandler handler) {
    AlertHandler previous = currentHandler;
    currentHandler = handler ? handler : StderrAlert;
    return previous;
}

void MessageBox(void* /*owner*/, const char* text, const char* caption, int /*flags*/) {
    currentHandler(text ? text : "", caption ? caption : "");
}

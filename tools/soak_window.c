/* soak-window [WIDTHxHEIGHT]: maps a plain window (640x480 unless told),
 * prints its id and keeps it until killed, so that kindora --window-id (or
 * another hack) has a window to draw into. */
#include <X11/Xlib.h>
#include <stdio.h>
#include <unistd.h>

int main(int argc, char** argv) {
    unsigned width = 640, height = 480;
    if (argc > 1 && (sscanf(argv[1], "%ux%u", &width, &height) != 2 || !width || !height)) {
        fprintf(stderr, "soak-window: a size is WIDTHxHEIGHT\n");
        return 2;
    }
    Display* display = XOpenDisplay(NULL);
    if (!display) {
        fprintf(stderr, "soak-window: cannot open the display\n");
        return 1;
    }
    Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, width, height, 0,
                                        0, BlackPixel(display, DefaultScreen(display)));
    XMapWindow(display, window);
    XSync(display, False);
    printf("0x%lx\n", (unsigned long)window);
    fflush(stdout);
    for (;;) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
        }
        sleep(1);
    }
}

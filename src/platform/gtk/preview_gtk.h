#ifndef KINDORA_PLATFORM_PREVIEW_GTK_H
#define KINDORA_PLATFORM_PREVIEW_GTK_H

#include <gtk/gtk.h>
#include <sys/types.h>

#include <string>

// The live preview beside the sheet: the saver itself, run as a child process
// that draws into the drawing area's own X window
// ("kindora --preview --window-id 0x..."). It reads the stored settings when
// it starts and is never restarted, so it keeps them while the user edits.
// Until it runs, or once it has gone, the area is black with a short note.
struct PREVIEWCHILD {
    GtkWidget* area = nullptr;
    pid_t pid = 0;     // the running child, 0 when none
    guint pollId = 0;  // the timer that notices a child that has ended
    std::string note;  // shown in the black area while no child draws
    bool drawConnected = false;
};

// "kindora" in the folder of the running executable, else on PATH; empty
// when neither has one.
std::string FindSaverProgram();

// Gives `area` (a GtkDrawingArea) a native X window and starts `program`
// with "--preview --window-id 0x<id>" on it. Without a program, or when it
// cannot start, the area stays black with a note and false comes back.
bool StartPreview(PREVIEWCHILD* preview, GtkWidget* area, const std::string& program);

// Stops the child with SIGTERM, waits up to two seconds, then kills it, and
// reaps it; safe to call twice.
void StopPreview(PREVIEWCHILD* preview);

// The X window id that the child is given, 0 when the area has none.
unsigned long PreviewWindowId(GtkWidget* area);

#endif

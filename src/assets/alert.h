#ifndef KINDORA_ASSETS_ALERT_H
#define KINDORA_ASSETS_ALERT_H

// The one way the saver tells the user something: a notice with a caption,
// a text and a single "OK" button. The portable code calls MessageBox; where
// the notice goes is up to a handler that the platform (or a test) installs.
// A running full-screen saver holds the keyboard, so it keeps the default
// handler, which writes the notice to stderr.

// Shows one notice; returns when the user has acknowledged it.
using AlertHandler = void (*)(const char* text, const char* caption);

// Shows `text` under `caption` through the current handler. `owner` and
// `flags` are accepted for callers' sake and not used. Null strings are shown
// as empty ones.
void MessageBox(void* owner, const char* text, const char* caption, int flags);

// Installs `handler` (null restores the default) and returns the one it
// replaces, so that a caller can put it back.
AlertHandler SetAlertHandler(AlertHandler handler);

// The default handler: writes "caption: text" and a newline to stderr.
void StderrAlert(const char* text, const char* caption);

#endif

#ifndef KINDORA_TESTS_ALERT_RECORDER_H
#define KINDORA_TESTS_ALERT_RECORDER_H

#include <string>
#include <vector>

#include "alert.h"

// Notices shown through MessageBox while a ScopedAlertRecorder lives.
struct RecordedAlert {
    std::string text;
    std::string caption;
};

inline std::vector<RecordedAlert>& RecordedAlerts() {
    static std::vector<RecordedAlert> alerts;
    return alerts;
}

inline void RecordAlert(const char* text, const char* caption) {
    RecordedAlerts().push_back({text, caption});
}

// Records every notice instead of showing it, and puts the previous handler
// back when it goes out of scope.
class ScopedAlertRecorder {
   public:
    ScopedAlertRecorder() : previous(SetAlertHandler(RecordAlert)) { RecordedAlerts().clear(); }
    ~ScopedAlertRecorder() { SetAlertHandler(previous); }
    ScopedAlertRecorder(const ScopedAlertRecorder&) = delete;
    ScopedAlertRecorder& operator=(const ScopedAlertRecorder&) = delete;

    const std::vector<RecordedAlert>& alerts() const { return RecordedAlerts(); }
    void Clear() { RecordedAlerts().clear(); }

   private:
    AlertHandler previous;
};

#endif

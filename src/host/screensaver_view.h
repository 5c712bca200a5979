#ifndef KINDORA_HOST_SCREENSAVER_VIEW_H
#define KINDORA_HOST_SCREENSAVER_VIEW_H

#include "host_platform.h"

// What the screen-saver host gives every view: its frame, the preview flag,
// the tick period and whether the tick runs. The host drives a view through
// the calls below and ticks it (animateOneFrame) every
// animationTimeInterval seconds while `animating` holds.
class ScreenSaverView {
   public:
    bool initWithFrame(const HOSTRECT& frame, bool isPreview, const HOSTPLATFORM& platform);
    void setFrameSize(float width, float height);
    void startAnimation() { animating = true; }
    void stopAnimation() { animating = false; }
    void setAnimationTimeInterval(double seconds) { animationTimeInterval = seconds; }

    bool isPreview() const { return preview; }
    // The drawing area: origin 0, the frame's size.
    HOSTRECT bounds() const;
    // The number of the screen holding the view's window.
    int32_t windowScreen() const;

    HOSTPLATFORM platform;
    HOSTRECT frame;
    bool preview = false;
    bool animating = false;
    double animationTimeInterval = 0.0;
};

#endif

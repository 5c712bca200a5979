#include "screensaver_view.h"

HOSTRECT IntersectRects(const HOSTRECT& a, const HOSTRECT& b) {
    const float left = a.x > b.x ? a.x : b.x;
    const float bottom = a.y > b.y ? a.y : b.y;
    const float right = a.x + a.width < b.x + b.width ? a.x + a.width : b.x + b.width;
    const float top = a.y + a.height < b.y + b.height ? a.y + a.height : b.y + b.height;
    HOSTRECT r;
    if (right <= left || top <= bottom) return r;
    r.x = left;
    r.y = bottom;
    r.width = right - left;
    r.height = top - bottom;
    return r;
}

bool RectIsEmpty(const HOSTRECT& r) {
    return !(r.width > 0.0f) || !(r.height > 0.0f);
}

bool ScreenSaverView::initWithFrame(const HOSTRECT& frameRect, bool isPreviewView,
                                    const HOSTPLATFORM& host) {
    if (!host.Now || !host.MakeCurrent || !host.Flush) return false;
    platform = host;
    frame = frameRect;
    preview = isPreviewView;
    animating = false;
    return true;
}

void ScreenSaverView::setFrameSize(float width, float height) {
    frame.width = width;
    frame.height = height;
}

HOSTRECT ScreenSaverView::bounds() const {
    HOSTRECT r;
    r.width = frame.width;
    r.height = frame.height;
    return r;
}

int32_t ScreenSaverView::windowScreen() const {
    return platform.WindowScreen ? platform.WindowScreen(platform.context) : 0;
}

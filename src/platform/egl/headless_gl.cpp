#include "headless_gl.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstring>

namespace {

EGLDisplay OpenSurfacelessDisplay() {
    auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!getPlatformDisplay) return EGL_NO_DISPLAY;
    return getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
}

bool ChooseConfig(EGLDisplay display, EGLConfig* config) {
    const EGLint attributes[] = {EGL_SURFACE_TYPE,
                                 EGL_PBUFFER_BIT,
                                 EGL_RENDERABLE_TYPE,
                                 EGL_OPENGL_BIT,
                                 EGL_RED_SIZE,
                                 8,
                                 EGL_GREEN_SIZE,
                                 8,
                                 EGL_BLUE_SIZE,
                                 8,
                                 EGL_ALPHA_SIZE,
                                 8,
                                 EGL_DEPTH_SIZE,
                                 16,
                                 EGL_NONE};
    EGLint count = 0;
    return eglChooseConfig(display, attributes, config, 1, &count) && count == 1;
}

}  // namespace

bool HeadlessGL::Create(int w, int h) {
    Destroy();
    if (w < 1 || h < 1) {
        error = "the surface must be at least 1 x 1";
        return false;
    }
    EGLDisplay dpy = OpenSurfacelessDisplay();
    if (dpy == EGL_NO_DISPLAY) {
        error = "no EGL surfaceless platform (Mesa's EGL is needed)";
        return false;
    }
    display = dpy;
    EGLint major = 0, minor = 0;
    EGLConfig config = nullptr;
    if (!eglInitialize(dpy, &major, &minor)) {
        error = "eglInitialize failed";
    } else if (!eglBindAPI(EGL_OPENGL_API)) {
        error = "desktop OpenGL is not available through EGL";
    } else if (!ChooseConfig(dpy, &config)) {
        error = "no RGBA8 pbuffer configuration with desktop OpenGL";
    } else {
        const EGLint surfaceAttributes[] = {EGL_WIDTH, w, EGL_HEIGHT, h, EGL_NONE};
        surface = eglCreatePbufferSurface(dpy, config, surfaceAttributes);
        // No version attributes: Mesa then gives the compatibility profile.
        context = eglCreateContext(dpy, config, EGL_NO_CONTEXT, nullptr);
        if (surface == EGL_NO_SURFACE || context == EGL_NO_CONTEXT) {
            error = "could not create the pbuffer or the context";
        } else if (!eglMakeCurrent(dpy, surface, surface, context)) {
            error = "eglMakeCurrent failed";
        } else {
            width = w;
            height = h;
            error = "";
            return true;
        }
    }
    const char* reason = error;
    Destroy();
    error = reason;
    return false;
}

bool HeadlessGL::MakeCurrent() {
    return display && eglMakeCurrent(display, surface, surface, context);
}

void HeadlessGL::Destroy() {
    if (!display) return;
    eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context && context != EGL_NO_CONTEXT) eglDestroyContext(display, context);
    if (surface && surface != EGL_NO_SURFACE) eglDestroySurface(display, surface);
    // No eglTerminate: every context in the process shares this display,
    // and terminating it would pull the others down with it.
    display = surface = context = nullptr;
    width = height = 0;
}

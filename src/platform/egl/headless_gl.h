#ifndef KINDORA_PLATFORM_HEADLESS_GL_H
#define KINDORA_PLATFORM_HEADLESS_GL_H

// An off-screen OpenGL 1.x context for tests and tools: EGL on Mesa's
// surfaceless platform with a pbuffer of the requested size, so nothing
// needs a display. The context is current on the calling thread after a
// successful Create.
class HeadlessGL {
   public:
    HeadlessGL() = default;
    ~HeadlessGL() { Destroy(); }
    HeadlessGL(const HeadlessGL&) = delete;
    HeadlessGL& operator=(const HeadlessGL&) = delete;

    // Creates the context and makes it current. On failure returns false,
    // leaves nothing behind and describes the reason in `error`.
    bool Create(int width, int height);
    // Releases the context; safe to call twice.
    void Destroy();
    bool MakeCurrent();

    int width = 0;
    int height = 0;
    const char* error = "";

   private:
    void* display = nullptr;
    void* surface = nullptr;
    void* context = nullptr;
};

#endif

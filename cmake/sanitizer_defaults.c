/* Options every executable of the sanitizer build starts with; what
 * ASAN_OPTIONS names still wins.
 *
 * This compiler's __tls_get_addr interceptor takes a dynamic TLS block that
 * happens to start 16 bytes into a page for one with the header of a glibc
 * older than 2.25, and reads the two words before it as the block's bounds.
 * LeakSanitizer's tracer then scans a wild range and dies at exit ("Tracer
 * caught signal 11"). Mesa's drivers keep their thread state in dynamic TLS,
 * so the crash came and went with where malloc put those blocks. */
const char* __asan_default_options(void);
const char* __asan_default_options(void) {
    return "intercept_tls_get_addr=0";
}

/* A library unloaded before the leak check at exit takes with it the
 * pointers its globals held, and whatever they pointed at is then reported
 * as leaked from an "<unknown module>". Mesa's GL vendor library and driver
 * are unloaded when the display closes, which made the check fail now and
 * then on memory Mesa still held. In this build no library is unloaded: the
 * check sees every library's globals, and our own leaks are still found. */
int dlclose(void* handle);
int dlclose(void* handle) {
    (void)handle;
    return 0;
}

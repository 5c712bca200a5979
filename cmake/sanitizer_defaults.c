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

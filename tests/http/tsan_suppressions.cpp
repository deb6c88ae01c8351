// Debian's cpp-httplib is a prebuilt, uninstrumented library: ThreadSanitizer cannot see the
// fast path of its function-local static guards (for example the request-method table shared
// by the server's worker threads) and reports its lazily built statics as races. Accesses that
// the library itself makes through intercepted calls are therefore ignored; our own code stays
// fully checked.
#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_suppressions() {
    return "called_from_lib:libcpp-httplib.so\n";
}
#endif

// The window toolkit keeps its caches of fonts, types and settings until the process ends; the
// leak checker of sanitized builds is told that these are not leaks of the emulator's.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libpango\nleak:libgtk-x11\nleak:libgdk-x11\nleak:libglib\n"
           "leak:libgobject\nleak:libcairo\nleak:libX11\nleak:libgio\nleak:libgdk_pixbuf\n"
           "leak:libharfbuzz\n";
}

extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }

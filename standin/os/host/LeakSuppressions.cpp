// Linked into each program that runs the window toolkit (kez-host, Kez's display and input tests):
// the toolkit keeps its caches of fonts, types and settings until the process ends, and the leak
// checker of sanitized builds is told that these are not leaks of ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libpango\nleak:libgtk-x11\nleak:libgdk-x11\nleak:libglib\n"
           "leak:libgobject\nleak:libcairo\nleak:libX11\nleak:libgio\nleak:libgdk_pixbuf\n";
}

// Without the list of suppressions used at exit.
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }

// Linked into the program in sanitizer builds only. Xlib keeps a few small
// strings for the life of the process (locale and display bookkeeping) and
// drops the pointers to them when SDL closes the display; LeakSanitizer
// would count them against the program when it runs in a real X window.
// Only libraries outside this project may be named here.
extern "C" const char* __lsan_default_suppressions() { return "leak:libX11.so\n"; }

// Standard error stays the program's own: no table of the suppressions used.
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }

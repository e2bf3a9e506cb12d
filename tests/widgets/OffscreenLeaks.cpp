// Qt's offscreen platform plugin never frees its screen and cursor. Those
// blocks are allocated inside the plugin, so full stacks are needed to tell
// them apart from our own leaks (the fast unwinder stops at Qt's frames).
extern "C" {
__attribute__((visibility("default"))) const char* __asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}
__attribute__((visibility("default"))) const char* __lsan_default_suppressions()
{
    return "leak:libqoffscreen.so\n";
}
}

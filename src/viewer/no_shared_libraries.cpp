// The stub is linked static, so a shared library loaded into it would bring a second, foreign C
// library with it. The X client library tries to load the cursor-theme library when cursors are
// made; refused here, it makes them the core protocol's way, which is all the stub shows.
extern "C" void* dlopen(const char* /*file*/, int /*mode*/) {
    return nullptr;
}

// Annotation entries of the main codec library. Kept apart from the image library's headers,
// which declare a function of the same name.

#include <cstdint>

#define PL_EXPORT extern "C" __attribute__((visibility("default")))

// Annotations are not drawn by this system; the entries exist so the control can announce
// itself and clear, draw and drop its (empty) annotation layer.
PL_EXPORT int InitAnnotation(void* control, void*, void*, const char*, void*) {
    return control != nullptr ? 1 : 0;
}
PL_EXPORT int ClearAnnotation(void* control) {
    return control != nullptr ? 1 : 0;
}
PL_EXPORT int DrawAnnotation(void* control, int, int, double, int, int) {
    return control != nullptr ? 1 : 0;
}
PL_EXPORT int DestroyAnnotation(void* control) {
    return control != nullptr ? 1 : 0;
}

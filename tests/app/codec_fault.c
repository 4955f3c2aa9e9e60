/* Preloaded into pelisto-build by its tests: the image library's readers fault as a
   damaged library would, with a write through a null pointer. */
#include <stddef.h>

static void Fault(void) {
    volatile int* volatile nowhere = NULL;
    *nowhere = 1;
}

void* BlobToImage(const void* info, const void* blob, size_t length, void* exception) {
    (void)info;
    (void)blob;
    (void)length;
    (void)exception;
    Fault();
    return NULL;
}

void* PingBlob(const void* info, const void* blob, size_t length, void* exception) {
    (void)info;
    (void)blob;
    (void)length;
    (void)exception;
    Fault();
    return NULL;
}

void* ReadImage(const void* info, void* exception) {
    (void)info;
    (void)exception;
    Fault();
    return NULL;
}

void* PingImage(const void* info, void* exception) {
    (void)info;
    (void)exception;
    Fault();
    return NULL;
}

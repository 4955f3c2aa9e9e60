/* Preloaded into pelisto-build by its tests: the image library's readers fault as a
   damaged library would, with a write through a null pointer, or give up with a fatal message
   and abort (PELISTO_CODEC_FAULT_KIND=abort). Built with FAULT_INSIDE_MALLOC, the fault strikes
   inside malloc, whose lock would then stay taken: an allocation after it on the thread that
   faulted ends the process with status 97 where the real one would hang; other threads wait
   for the lock, as they would. */
#define _GNU_SOURCE
#include <pthread.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static void NullWrite(void) {
    volatile int* volatile nowhere = NULL;
    *nowhere = 1;
}

#ifdef FAULT_INSIDE_MALLOC
extern void* __libc_malloc(size_t size);
extern void* __libc_calloc(size_t count, size_t size);
extern void* __libc_realloc(void* block, size_t size);

static volatile int armed;
static volatile int held;
static pthread_t holder;

static void Taken(void) {
    if (!pthread_equal(pthread_self(), holder)) {
        for (;;) {
            pause();
        }
    }
    static const char said[] = "allocation after a fault inside malloc\n";
    (void)!write(2, said, sizeof said - 1);
    _exit(97);
}

void* malloc(size_t size) {
    if (held) {
        Taken();
    }
    if (armed && pthread_equal(pthread_self(), holder)) {
        held = 1;
        NullWrite();
    }
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
    if (held) {
        Taken();
    }
    return __libc_calloc(count, size);
}

void* realloc(void* block, size_t size) {
    if (held) {
        Taken();
    }
    return __libc_realloc(block, size);
}

static void Fault(void) {
    holder = pthread_self();
    armed = 1;
    free(malloc(16));
}
#else
static void Fault(void) {
    const char* kind = getenv("PELISTO_CODEC_FAULT_KIND");
    if (kind != NULL && strcmp(kind, "abort") == 0) {
        fputs("codec: fatal: the library gave up\n", stderr);
        abort();
    }
    NullWrite();
}
#endif

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

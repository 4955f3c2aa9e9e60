#include "codeclib/error_detail.h"

#include <cstring>
#include <vector>

namespace pelisto::codec {
namespace {

// What a call of this thread leaves for its caller. One thread-local object for the library:
// LeakSanitizer's tracer faulted when this dlopen'd library had two with destructors.
struct CallState {
    std::string detail;
    std::vector<std::uint8_t> profile;
};

CallState& State() {
    thread_local CallState state;
    return state;
}

std::string& Detail() {
    return State().detail;
}

} // namespace

std::vector<std::uint8_t>& ThreadProfileStorage() {
    return State().profile;
}

void ClearErrorDetail() {
    Detail().clear();
}

void SetErrorDetail(std::string text) {
    Detail() = std::move(text);
}

void SetErrorDetailFromErrno(int error) {
    if (error != 0) {
        char buffer[256] = {};
        // The GNU strerror_r answers a pointer that may not be the buffer.
        const char* text = strerror_r(error, buffer, sizeof(buffer));
        Detail() = text != nullptr ? text : "";
    }
}

const std::string& ErrorDetail() {
    return Detail();
}

} // namespace pelisto::codec

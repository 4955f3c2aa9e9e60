#include "codeclib/error_detail.h"

#include <cstring>

namespace pelisto::codec {
namespace {

std::string& Detail() {
    thread_local std::string detail;
    return detail;
}

} // namespace

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

#include "codeclib/picture_profile.h"

#include <cstring>

namespace pelisto::codec {

std::vector<std::uint8_t>& PictureProfile() {
    thread_local std::vector<std::uint8_t> profile;
    return profile;
}

void ClearPictureProfile() {
    std::vector<std::uint8_t>().swap(PictureProfile());
}

void SetPictureProfile(const void* data, std::size_t size) {
    ClearPictureProfile();
    if (data != nullptr && size > 0 && size <= MaxProfileBytes) {
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        PictureProfile().assign(bytes, bytes + size);
    }
}

} // namespace pelisto::codec

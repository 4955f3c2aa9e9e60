#include "codeclib/picture_profile.h"

#include "codeclib/error_detail.h"

#include <cstring>

namespace pelisto::codec {

std::vector<std::uint8_t>& PictureProfile() {
    return ThreadProfileStorage();
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

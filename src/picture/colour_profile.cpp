#include "picture/colour_profile.h"

#include "codeclib/codec_api.h"
#include "picture/call_guard.h"
#include "picture/codec_library.h"

namespace pelisto {

QByteArray TakePictureProfile() {
    auto fn = reinterpret_cast<pliccprofile_t>(
        CodecLibrary::Get(CodecLibrary::Main).Entry("pliccprofile"));
    if (fn == nullptr) {
        return {};
    }
    int length = 0;
    if (!CallGuarded([&] { length = fn(nullptr, 0); }) || length <= 0) {
        return {};
    }
    QByteArray profile(length, Qt::Uninitialized);
    char* data = profile.data();
    int copied = 0;
    if (!CallGuarded([&] { copied = fn(data, length); }) || copied != length) {
        return {};
    }
    return profile;
}

bool ConvertDibToSrgb(void* dib, const QByteArray& profile) {
    if (dib == nullptr || profile.isEmpty()) {
        return false;
    }
    auto fn = reinterpret_cast<ProfileToSrgb_t>(
        CodecLibrary::Get(CodecLibrary::Processing).Entry("ProfileToSrgb"));
    if (fn == nullptr) {
        return false;
    }
    std::int16_t status = 0;
    const char* data = profile.constData();
    const auto size = static_cast<std::int32_t>(profile.size());
    // A fault on the way counts as a profile that could not be used: the picture stays as read.
    return CallGuarded([&] { status = fn(dib, data, size); }) && status == 1;
}

} // namespace pelisto

#pragma once

// The ICC profile that came with the picture a read entry decoded, handed to the caller beside
// the DIB (pliccprofile). Per thread, as pictures are read on several at once. Every read entry
// clears it when it starts; a reader that finds a profile in the file sets it, whatever the
// format. The caller decides what to do with it: the picture control brings such pictures to
// sRGB (the processing library's ProfileToSrgb).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pelisto::codec {

// Profiles larger than this are not kept: real ones are a few kilobytes to a few megabytes.
inline constexpr std::size_t MaxProfileBytes = std::size_t{16} << 20;

void ClearPictureProfile();
// Keeps a copy of the profile (none when empty or over MaxProfileBytes).
void SetPictureProfile(const void* data, std::size_t size);
std::vector<std::uint8_t>& PictureProfile();

} // namespace pelisto::codec

#pragma once

// What went wrong in the latest failing call of this thread, said more precisely than its
// status can ("40000 x 300 pixels, over the limit ...", "Premature end of JPEG file", "No space
// left on device"). Each entry of the library clears it when it starts.

#include <cstdint>
#include <string>
#include <vector>

namespace pelisto::codec {

void ClearErrorDetail();
void SetErrorDetail(std::string text);
// The text of errno, as a detail.
void SetErrorDetailFromErrno(int error);
const std::string& ErrorDetail();

// Where picture_profile.h keeps the profile of this thread's latest read, beside the detail.
std::vector<std::uint8_t>& ThreadProfileStorage();

} // namespace pelisto::codec

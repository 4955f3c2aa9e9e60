#pragma once

// Colour profiles of the pictures read: the codec library hands over the ICC profile a picture
// carried (pliccprofile), and the processing library brings the picture to sRGB with it
// (ProfileToSrgb). Pictures without a profile, or with an sRGB one, are left as they were read.

#include <QByteArray>

namespace pelisto {

// The profile of the picture this thread read last through the main library, now taken from
// it; empty for none.
QByteArray TakePictureProfile();

// The DIB's colours brought from the profile to sRGB, in place. Nothing happens for an empty,
// sRGB or unusable profile; true when the colours changed.
bool ConvertDibToSrgb(void* dib, const QByteArray& profile);

} // namespace pelisto

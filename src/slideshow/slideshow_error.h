#pragma once

#include <stdexcept>
#include <string>

namespace pelisto {

// Every way a slideshow file can fail to read, and every value the writer refuses to store.
enum class SlideshowErrorKind {
    OpenFailed,     // the file cannot be opened or measured
    ReadFailed,     // a read failed or fell outside the source
    TooShort,       // fewer bytes than the smallest trailer (16)
    NoMarker,       // the last five bytes are not "WAGON"
    BadCount,       // picture count 0, or its lengths table cannot fit in the file
    BadFlag,        // automatic flag other than 0 or 1
    BadDelay,       // delay of 0 seconds
    EmptyPicture,   // a picture length of 0
    StubOverrun,    // the stub length reaches past the start of the trailer
    PictureOverrun, // the stub and pictures together reach past the start of the trailer
    PictureGap,     // bytes left between the last picture and the trailer
    ValueTooLarge,  // writer: a length that does not fit the 32-bit field
    BadSignature,   // a program's certificate table is damaged or does not end the file
};

// Short English name of a kind, for messages and test output.
const char* SlideshowErrorKindName(SlideshowErrorKind kind);

class SlideshowError : public std::runtime_error {
public:
    SlideshowError(SlideshowErrorKind kind, const std::string& message)
        : std::runtime_error(message), kind_(kind) {}
    SlideshowErrorKind Kind() const { return kind_; }

private:
    SlideshowErrorKind kind_;
};

} // namespace pelisto

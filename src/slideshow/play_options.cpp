#include "slideshow/play_options.h"

#include "slideshow/byte_order.h"
#include "slideshow/jpeg_segments.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace pelisto {

namespace {

constexpr char kName[] = "PelistoPlay"; // with its terminating zero
constexpr std::size_t kNameSize = sizeof(kName);
constexpr std::uint8_t kVersion = 1;
constexpr std::uint8_t kShuffle = 1;
constexpr std::uint8_t kStopAtEnd = 2;
// Name, version, flags, crossfade (2 bytes), caption length (2 bytes).
constexpr std::size_t kFixedSize = kNameSize + 1 + 1 + 2 + 2;

// The longest start of text that fits in `room` bytes and ends between two UTF-8 characters.
std::size_t Utf8Cut(const std::string& text, std::size_t room) {
    if (text.size() <= room) {
        return text.size();
    }
    std::size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return cut;
}

void PutBe16(std::vector<std::uint8_t>& out, std::size_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

// A small, portable generator (splitmix64): the same seed gives the same order everywhere.
std::uint64_t NextRandom(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

} // namespace

std::vector<std::uint8_t> PlayOptionsSegment(const PictureOptions& options) {
    if (!options.Any()) {
        return {};
    }
    const std::size_t captionSize = Utf8Cut(options.caption, kMaxCaptionBytes);
    std::vector<std::uint8_t> out{0xFF, kPlayOptionsMarker};
    PutBe16(out, 2 + kFixedSize + captionSize);
    out.insert(out.end(), kName, kName + kNameSize);
    out.push_back(kVersion);
    out.push_back(static_cast<std::uint8_t>((options.play.shuffle ? kShuffle : 0) |
                                            (options.play.stopAtEnd ? kStopAtEnd : 0)));
    PutBe16(out, std::min(options.play.crossfadeMs, kMaxCrossfadeMs));
    PutBe16(out, captionSize);
    out.insert(out.end(), options.caption.begin(), options.caption.begin() + captionSize);
    return out;
}

std::vector<std::uint8_t> WithPlayOptions(std::span<const std::uint8_t> jpeg,
                                          const PictureOptions& options) {
    if (jpeg.size() < 4 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) {
        return {};
    }
    const std::vector<std::uint8_t> segment = PlayOptionsSegment(options);
    if (segment.empty()) {
        return {jpeg.begin(), jpeg.end()};
    }
    std::size_t at = 2;
    WalkJpegSegments(jpeg, [&](const JpegSegment& s) {
        if (s.start == 2 && s.marker == 0xE0) {
            at = s.end();
        }
        return true; // only the first segment matters
    });
    std::vector<std::uint8_t> out;
    out.reserve(jpeg.size() + segment.size());
    out.insert(out.end(), jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(at));
    out.insert(out.end(), segment.begin(), segment.end());
    out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(at), jpeg.end());
    return out;
}

std::optional<PictureOptions> ReadPlayOptions(std::span<const std::uint8_t> jpeg) {
    std::optional<PictureOptions> found;
    WalkJpegSegments(jpeg, [&](const JpegSegment& s) {
        if (s.marker != kPlayOptionsMarker || s.payloadSize < kNameSize ||
            std::memcmp(&jpeg[s.payload], kName, kNameSize) != 0) {
            return false;
        }
        // Ours: read it, or give up on a version or a length this reader does not know.
        const std::uint8_t* p = &jpeg[s.payload + kNameSize];
        if (s.payloadSize < kFixedSize || p[0] != kVersion) {
            return true;
        }
        const std::size_t captionSize = bytes::Be16(p + 4);
        if (captionSize > kMaxCaptionBytes || captionSize > s.payloadSize - kFixedSize) {
            return true;
        }
        PictureOptions options;
        options.play.shuffle = (p[1] & kShuffle) != 0;
        options.play.stopAtEnd = (p[1] & kStopAtEnd) != 0;
        options.play.crossfadeMs = std::min<std::uint16_t>(bytes::Be16(p + 2), kMaxCrossfadeMs);
        options.caption.assign(reinterpret_cast<const char*>(p + 6), captionSize);
        found = std::move(options);
        return true;
    });
    return found;
}

PlayOrder::PlayOrder(std::size_t count, const PlayOptions& options, std::uint64_t seed)
    : count_(count), options_(options), state_(seed) {
    if (options_.shuffle && count_ > 0) {
        DrawRound();
    }
}

void PlayOrder::DrawRound() {
    const std::size_t first = shown_.size();
    for (std::size_t i = 0; i < count_; ++i) {
        shown_.push_back(i);
    }
    // Fisher-Yates over the new round.
    for (std::size_t i = count_; i > 1; --i) {
        const std::size_t j = static_cast<std::size_t>(NextRandom(state_) % i);
        std::swap(shown_[first + i - 1], shown_[first + j]);
    }
    if (first > 0 && count_ > 1 && shown_[first] == shown_[first - 1]) {
        std::swap(shown_[first], shown_[first + 1 + NextRandom(state_) % (count_ - 1)]);
    }
}

std::size_t PlayOrder::Current() const {
    if (count_ == 0) {
        return 0;
    }
    return options_.shuffle ? shown_[at_] : at_;
}

bool PlayOrder::AtEnd() const {
    return options_.stopAtEnd && count_ > 0 && at_ + 1 == count_;
}

PlayOrder::Stepped PlayOrder::Step(int delta, bool byHand) {
    if (delta > 0 && AtEnd()) {
        return {!byHand, false};
    }
    if (count_ <= 1) {
        return {true, false};
    }
    return {true, delta > 0 ? Next() : Previous()};
}

bool PlayOrder::Next() {
    if (count_ == 0 || AtEnd()) {
        return false;
    }
    if (!options_.shuffle) {
        at_ = (at_ + 1) % count_;
        return true;
    }
    if (at_ + 1 == shown_.size()) {
        DrawRound();
    }
    ++at_;
    return true;
}

bool PlayOrder::Previous() {
    if (count_ == 0) {
        return false;
    }
    if (at_ > 0) {
        --at_;
        return true;
    }
    if (options_.stopAtEnd) {
        return false;
    }
    // Before the first picture comes the last: the last of the first round.
    at_ = count_ - 1;
    return true;
}

std::size_t PlayOrder::Upcoming() {
    if (count_ == 0) {
        return 0;
    }
    if (AtEnd()) {
        return Current();
    }
    if (!options_.shuffle) {
        return (at_ + 1) % count_;
    }
    if (at_ + 1 == shown_.size()) {
        DrawRound();
    }
    return shown_[at_ + 1];
}

} // namespace pelisto

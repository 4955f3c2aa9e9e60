#pragma once

// What a slideshow may ask of its players beyond the trailer's automatic flag and delay: a new
// order at each start, a stop at the end, a crossfade and a caption per picture.
//
// They ride in an application segment (APP11, named "PelistoPlay") inside each picture's JPEG.
// Every JPEG decoder skips such a segment, so a player that knows only the trailer plays the
// pictures as before, and a slideshow that asks for none of it carries no segment at all: its
// bytes are the plain layout's. Every picture's segment repeats the slideshow's options (a player
// takes them from the first picture) and holds that picture's caption, already made into text
// when the slideshow was built (a file name, a date, or the user's own words).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pelisto {

inline constexpr std::uint8_t kPlayOptionsMarker = 0xEB; // APP11
inline constexpr std::uint16_t kMaxCrossfadeMs = 5000;
inline constexpr std::size_t kMaxCaptionBytes = 1000;

struct PlayOptions {
    bool shuffle = false;
    bool stopAtEnd = false;        // otherwise the first picture follows the last
    std::uint16_t crossfadeMs = 0; // 0 is a plain cut
    bool operator==(const PlayOptions&) const = default;
};

struct PictureOptions {
    PlayOptions play;
    std::string caption; // UTF-8, at most kMaxCaptionBytes; empty shows none
    bool operator==(const PictureOptions&) const = default;
    // Whether there is anything to say: without it no segment is written.
    bool Any() const { return play != PlayOptions{} || !caption.empty(); }
};

// The whole segment (marker, length and payload); empty when options.Any() is false. A caption
// longer than kMaxCaptionBytes is cut between two UTF-8 characters, a crossfade clamped.
std::vector<std::uint8_t> PlayOptionsSegment(const PictureOptions& options);

// The JPEG with the segment put after its JFIF header, or after its start of image when it has
// none. The JPEG unchanged when there is nothing to say; empty when it is not a JPEG.
std::vector<std::uint8_t> WithPlayOptions(std::span<const std::uint8_t> jpeg,
                                          const PictureOptions& options);

// The options a picture's JPEG carries; nothing when it carries none, or a segment of a later
// version this reader cannot read, or a damaged one. Only the markers before the first scan
// are read.
std::optional<PictureOptions> ReadPlayOptions(std::span<const std::uint8_t> jpeg);

// The order a player shows the pictures in, and the way back through what was shown.
// Without shuffle the pictures come in the list's order; with it each round is a new order of
// all of them (the round after never starts with the picture just shown). Previous goes back
// through what was shown, then wraps as Next does. When stopping at the end, Next after the
// last picture of the first round says false and stays: the player keeps the picture up and
// ends the show when a key asks for the next one.
class PlayOrder {
public:
    PlayOrder(std::size_t count, const PlayOptions& options, std::uint64_t seed);

    std::size_t Current() const; // index into the slideshow's pictures
    bool AtEnd() const;          // stopping at the end and the last picture is up
    bool Next();
    bool Previous();
    // The picture Next would show (a round is drawn when needed), for decoding it ahead.
    std::size_t Upcoming();

    // A step a player is asked for, forward (delta > 0) or back, by a key (byHand) or by its
    // timer: whether the show goes on, and whether another picture is now current. Stopped at
    // the end, the last picture stays; the timer leaves it up, a key ends the show.
    struct Stepped {
        bool goesOn = true;
        bool moved = false;
    };
    Stepped Step(int delta, bool byHand);

private:
    void DrawRound();

    std::size_t count_;
    PlayOptions options_;
    std::uint64_t state_;
    std::vector<std::size_t> shown_; // with shuffle: every round drawn so far, in order
    std::size_t at_ = 0;
};

} // namespace pelisto

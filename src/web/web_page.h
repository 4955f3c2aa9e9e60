#pragma once

#include "slideshow/play_options.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace pelisto {

// What a web page slideshow says besides its pictures.
struct WebPageSettings {
    QString title;    // the page's title: the output's file name
    QString language; // "en" or "fr", the tool's language
    QStringList hint; // the hint shown at the start: the keys, then the gestures
    bool automatic = false;
    std::uint16_t delaySeconds = 10;
    PlayOptions play; // in the settings block only when any is set
};

// A slideshow as one HTML page that needs nothing else: a black page whose script plays the
// pictures as the viewer stubs do. The settings and the numbers of the shared play rules sit in
// a JSON block (script#pelisto-show); each picture is its JPEG in base64 in a block of its own
// (template.pelisto-jpeg, with data-length, data-width and data-height), in slideshow order;
// the script turns a block into a Blob URL when it is needed. A
// Content-Security-Policy lets the page make no request at all.
//
// Written in pieces, so no picture has to be held whole:
//   WebPageWriter page(settings);
//   out << page.Head();
//   for each JPEG: out << page.PictureStart(jpegHead, length) << page.PictureText(bytes)...
//                  << page.PictureEnd();
//   out << page.Tail();
class WebPageWriter {
public:
    explicit WebPageWriter(const WebPageSettings& settings);

    QByteArray Head() const;
    // The opening of a picture's block: its length in bytes, the size its frame header declares
    // and its caption (data-caption, when its playback options hold one), read from the JPEG's
    // first bytes, `jpegHead`, which may be the whole picture.
    static QByteArray PictureStart(std::span<const std::uint8_t> jpegHead, std::uint64_t length);
    // The base64 text of the next piece of the picture; every piece but the last must hold a
    // multiple of 3 bytes.
    static QByteArray PictureText(std::span<const std::uint8_t> bytes);
    static QByteArray PictureEnd();
    QByteArray Tail() const;

    // How many bytes a piece read for PictureText should hold.
    static constexpr std::size_t kPieceSize = 3 * 64 * 1024;

private:
    QByteArray head_;
    QByteArray tail_;
};

// A page read back: its settings and every picture's JPEG bytes in slideshow order.
struct WebPageContent {
    bool automatic = false;
    std::uint16_t delaySeconds = 0;
    PlayOptions play;
    std::vector<QByteArray> pictures;
};

// Reads a page that WebPageWriter wrote. Anything else gives nullopt and says why in `error`:
// no settings block, bad settings, a picture block whose text is not base64 or whose bytes do
// not have the length it states, no pictures.
std::optional<WebPageContent> ReadWebPage(const QByteArray& page, QString* error = nullptr);

} // namespace pelisto

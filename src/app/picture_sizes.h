#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

namespace pelisto {

class TBaseMultiLang;

// The picture sizes a slideshow can be made at: the pictures' own size, or a screen's box that
// larger pictures are fitted into. Index 0 is the pictures' own size; the others grow smaller.
struct PictureSizeChoice {
    const char* name; // pelisto-build's name for it
    int width;        // 0 x 0: the pictures' own size
    int height;
    const char* word; // its text in the word table
};
inline constexpr PictureSizeChoice kPictureSizes[] = {
    {"original", 0, 0, "@121"},
    {"4k", 3840, 2160, "@122"},
    {"fullhd", 1920, 1080, "@123"},
    {"small", 1280, 720, "@124"},
};
inline constexpr int kPictureSizeCount = 4;

// A box given as WxH (both 1 to 30000) or by a choice's name; nullopt for anything else.
std::optional<PictureSizeChoice> ParseFitBox(const QByteArray& text);

// Most mail services refuse messages past 25 MB.
inline constexpr std::int64_t kMailLimitBytes = 25LL * 1000 * 1000;

// For a slideshow of bytes made with the box (0 x 0: own size), the warning that most mail
// services will refuse it, naming the choices smaller than the box; empty when it is small
// enough.
QString MailSizeWarning(TBaseMultiLang& words, std::int64_t bytes, int boxWidth, int boxHeight);
// The same in English, for pelisto-build.
QString MailSizeWarning(std::int64_t bytes, int boxWidth, int boxHeight);

} // namespace pelisto

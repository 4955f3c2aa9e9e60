#pragma once

#include <QString>
#include <string>

namespace pelisto {

// What a picture's caption says; the text is made when the slideshow is built.
enum class CaptionKind {
    None,
    FileName,  // the picture's file name, without its folder
    DateTaken, // the EXIF date the photo was taken; none for a picture without one
    OwnText,   // the text typed for that picture
};

// The caption of the picture read at `path`, shown by the name `shownName` (a link's target may
// be named otherwise than the link), with its own text `own`. UTF-8; empty: no caption.
std::string CaptionText(CaptionKind kind, const QString& path, const QString& shownName,
                        const QString& own);

// The kind's word, "none", "name", "date" or "own", and back; `ok` says whether the word is one.
CaptionKind CaptionKindNamed(const QString& word, bool* ok = nullptr);
QString CaptionKindName(CaptionKind kind);

} // namespace pelisto

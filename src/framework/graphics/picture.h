#pragma once

#include "framework/graphics/graphic.h"

#include <functional>
#include <memory>

namespace pelisto {

class TBitmap;

using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

// The picture holder: owns at most one graphic, loads files through the graphic class
// registered for their extension and forwards the graphic's change and progress reports.
class TPicture {
public:
    TPicture();
    ~TPicture();
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    // Extension without its dot, compared ignoring case; the most recent registration wins.
    // className names the class for UnregisterGraphicClass.
    static void RegisterFileFormat(const QString& extension, const QString& description,
                                   TGraphicFactory factory, const QString& className = {});
    static void UnregisterGraphicClass(const QString& className);
    // The description registered for the extension, empty when none.
    static QString FileFormatDescription(const QString& extension);

    // Picks the graphic class by the file's extension (EInvalidGraphic "Extension de fichier
    // graphique inconnue (.%s)" when none), loads the file into a new graphic and, only when that
    // succeeded, puts it in place of the held one.
    void LoadFromFile(const QString& fileName);
    // Saves the held graphic in its own format; nothing is written when the holder is empty.
    void SaveToFile(const QString& fileName);

    TGraphic* Graphic() const { return graphic_.get(); }
    void SetGraphic(std::unique_ptr<TGraphic> graphic);
    // Holds a copy of source (nothing when source is null).
    void Assign(const TGraphic* source);
    // The held bitmap; a holder with another graphic or none gets a new, empty bitmap first.
    TBitmap& Bitmap();

    int Width() const;
    int Height() const;

    std::function<void(TPicture&)> OnChange;
    TProgressEvent OnProgress;

private:
    void Attach();
    void Changed();

    std::unique_ptr<TGraphic> graphic_;
};

} // namespace pelisto

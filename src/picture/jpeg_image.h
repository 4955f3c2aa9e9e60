#pragma once

#include "framework/graphics/bitmap.h"
#include "framework/graphics/graphic.h"

#include <QByteArray>
#include <cstdint>
#include <memory>
#include <optional>

namespace pelisto {

// An error reported by the JPEG library: "Erreur JPEG #<message code>".
class EJPEG : public EInvalidGraphic {
public:
    explicit EJPEG(int messageCode);
    int MessageCode() const { return code_; }

private:
    int code_;
};

// The compressed picture, shared by every TJPEGImage assigned from another.
struct TJPEGData {
    std::optional<QByteArray> Data; // one complete JPEG file; absent in a fresh record
    std::int32_t Height = 0;        // full size, from the header or the last encoding
    std::int32_t Width = 0;
    bool Grayscale = false; // single-component picture
};

// Settings of a JPEG graphic; new graphics copy them from JPEGDefaults().
struct TJPEGSettings {
    bool BlockSmoothing = true;
    bool GrayOutput = false;
    bool PaletteOutput = false; // start-up sets it from the screen depth
    std::uint8_t Quality = 90;
    bool ShowProgressively = false;
    bool WriteProgressive = false;
    bool FastDecode = false;
    std::uint8_t ScaleShift = 0;
};

// The process-wide defaults record.
TJPEGSettings& JPEGDefaults();

// Start-up: computes the default PaletteOutput from the screen and registers TJPEGImage with
// TPicture for "jpeg" and "jpg" ("Fichier image JPEG"). Call once after the application object
// exists; calling again does nothing. UnregisterJPEGGraphic undoes it at shutdown.
void RegisterJPEGGraphic();
void UnregisterJPEGGraphic();

// A JPEG picture held as its compressed bytes and, once needed, a decoded bitmap; each form is
// made from the other on demand through libjpeg.
class TJPEGImage : public TGraphic {
public:
    TJPEGImage();
    ~TJPEGImage() override;

    QString ClassName() const override { return QStringLiteral("TJPEGImage"); }
    std::unique_ptr<TGraphic> NewInstance() const override;

    // The decoded bitmap's size when there is one, else the size from the header or the last
    // encoding. Never decodes.
    int Width() const override;
    int Height() const override;
    // Always raise EInvalidGraphicOperation "Impossible de modifier la taille d'une image JPEG".
    void SetWidth(int width) override;
    void SetHeight(int height) override;
    bool IsEmpty() const override;

    // Stretch-draws the decoded picture (decoding first if needed).
    void DrawInto(QPainter& painter, const QRect& rect) override;
    // Takes the rest of the stream as the compressed bytes and reads the size from the header
    // (EJPEG when it is not a JPEG); does not decode. An empty stream gives an empty 0 x 0
    // picture.
    void ReadFrom(QIODevice& stream) override;
    // Encodes first when there are no compressed bytes, then writes exactly those bytes.
    void WriteTo(QIODevice& stream) override;
    // 32-bit little-endian byte count, then the bytes.
    void ReadStored(QIODevice& stream);
    void WriteStored(QIODevice& stream);

    // From a TBitmap: takes a copy of it to encode later. From a TJPEGImage: shares its
    // compressed data. Anything else: the assignment error.
    void AssignFrom(const TGraphic& source) override;
    // Into a TBitmap: a copy of the decoded picture. Anything else: the assignment error.
    void CopyTo(TGraphic& target) const override;
    bool SameAs(const TGraphic& other) const override;

    TPalette Palette() const override;
    void SetPalette(const TPalette& palette) override;

    // Encodes the held bitmap into fresh compressed data.
    void EncodeBitmap();
    // The decoded picture, decoding at most once.
    TBitmap& DecodeBitmap();
    // The decoded (or handed-in) bitmap when there is one.
    const TBitmap* Bitmap() const { return bitmap_.get(); }
    const TJPEGData& JPEGData() const { return *data_; }
    bool Grayscale() const { return data_->Grayscale; }
    // Drops the decoded bitmap so the next draw decodes again (with the current settings).
    void FreeBitmap();

    std::uint8_t Quality() const { return settings_.Quality; }
    void SetQuality(std::uint8_t quality) { settings_.Quality = quality; }
    bool GrayOutput() const { return settings_.GrayOutput; }
    void SetGrayOutput(bool on) { settings_.GrayOutput = on; }
    bool PaletteOutput() const { return settings_.PaletteOutput; }
    void SetPaletteOutput(bool on) { settings_.PaletteOutput = on; }
    bool FastDecode() const { return settings_.FastDecode; }
    void SetFastDecode(bool on) { settings_.FastDecode = on; }
    bool ShowProgressively() const { return settings_.ShowProgressively; }
    void SetShowProgressively(bool on) { settings_.ShowProgressively = on; }
    bool WriteProgressive() const { return settings_.WriteProgressive; }
    void SetWriteProgressive(bool on) { settings_.WriteProgressive = on; }
    std::uint8_t ScaleShift() const { return settings_.ScaleShift; }
    void SetScaleShift(std::uint8_t shift) { settings_.ScaleShift = shift; }
    bool BlockSmoothing() const { return settings_.BlockSmoothing; }
    void SetBlockSmoothing(bool on) { settings_.BlockSmoothing = on; }

    // Called from the library's progress hook.
    void ReportProgress(TProgressStage stage, int percent, bool redrawNow, const QRect& rect) {
        Progress(stage, percent, redrawNow, rect);
    }

private:
    void NewData();

    std::shared_ptr<TJPEGData> data_;
    std::unique_ptr<TBitmap> bitmap_;
    std::optional<TPalette> tempPalette_;
    TJPEGSettings settings_;
};

} // namespace pelisto

#pragma once

#include "framework/exceptions.h"

#include <QList>
#include <QRect>
#include <QRgb>
#include <QString>
#include <functional>
#include <memory>

class QIODevice;
class QPainter;

namespace pelisto {

class TGraphic;

// Colour table of an indexed picture; empty means "no palette".
using TPalette = QList<QRgb>;

enum TProgressStage { psStarting, psRunning, psEnding };

// Sender, stage, percent done (0..100), whether the changed part should be repainted now, the
// changed rectangle and a message.
using TProgressEvent = std::function<void(TGraphic& sender, TProgressStage stage, int percentDone,
                                          bool redrawNow, const QRect& rect, const QString& msg)>;

// Assigning between graphic kinds that cannot take each other.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// Raises the framework's assignment error ("Impossible d'affecter X à Y").
[[noreturn]] void RaiseAssignError(const QString& sourceClass, const QString& targetClass);

// Base of every picture kind. A graphic knows its pixel size, draws itself stretched into a
// rectangle, and reads and writes the bytes of its file format.
class TGraphic {
public:
    TGraphic() = default;
    virtual ~TGraphic() = default;
    TGraphic(const TGraphic&) = delete;
    TGraphic& operator=(const TGraphic&) = delete;

    virtual QString ClassName() const = 0;
    // A new, empty graphic of the same class.
    virtual std::unique_ptr<TGraphic> NewInstance() const = 0;

    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual void SetWidth(int width) = 0;
    virtual void SetHeight(int height) = 0;
    virtual bool IsEmpty() const = 0;
    bool Empty() const { return IsEmpty(); }

    // Draws the picture stretched into rect.
    virtual void DrawInto(QPainter& painter, const QRect& rect) = 0;
    void Draw(QPainter& painter, const QRect& rect) { DrawInto(painter, rect); }
    // Draws the picture at its natural size with its top-left corner at (x, y).
    void Draw(QPainter& painter, int x, int y) {
        DrawInto(painter, QRect(x, y, Width(), Height()));
    }

    // Reads the rest of the device as this graphic's file format / writes it.
    virtual void ReadFrom(QIODevice& stream) = 0;
    virtual void WriteTo(QIODevice& stream) = 0;

    // Opens the file for reading (EFOpenError when it cannot), then ReadFrom.
    void LoadFromFile(const QString& fileName);
    void LoadFile(const QString& fileName) { LoadFromFile(fileName); }
    // Creates the file, truncating an existing one (EFCreateError), then WriteTo. A failure while
    // producing the bytes leaves the created file empty.
    void SaveToFile(const QString& fileName);
    void SaveFile(const QString& fileName) { SaveToFile(fileName); }

    // Takes the picture of source. The default asks source to CopyTo this graphic.
    virtual void AssignFrom(const TGraphic& source);
    void Assign(const TGraphic& source) { AssignFrom(source); }
    // Gives this picture to target; the default raises the assignment error.
    virtual void CopyTo(TGraphic& target) const;

    virtual bool SameAs(const TGraphic& other) const { return &other == this; }

    virtual TPalette Palette() const { return {}; }
    virtual void SetPalette(const TPalette& palette) { (void)palette; }
    virtual bool Transparent() const { return transparent_; }
    virtual void SetTransparent(bool transparent) { transparent_ = transparent; }

    bool PaletteModified() const { return paletteModified_; }
    void SetPaletteModified(bool modified) { paletteModified_ = modified; }

    // Called when the picture changed (the owning TPicture repaints).
    std::function<void(TGraphic&)> OnChange;
    TProgressEvent OnProgress;

    virtual void NotifyChanged();

protected:
    // Reports to OnProgress when one is set.
    void Progress(TProgressStage stage, int percentDone, bool redrawNow, const QRect& rect,
                  const QString& msg = {});

private:
    bool transparent_ = false;
    bool paletteModified_ = false;
};

// Logical resolution of the primary screen in pixels per inch; 96 without a real screen.
int ScreenPixelsPerInch();
// Bits per pixel of the primary screen (colour planes included); 24 without a real screen.
int ScreenColorDepth();
// The screen is the user-interface thread's: on any other thread the two calls above answer
// what this read there last (96 and 24 before). Call it on that thread before workers start.
void NoteScreenForWorkers();
// Test seams: replace what the two calls above answer (an empty function restores them).
void SetScreenPixelsPerInchSource(std::function<int()> source);
void SetScreenColorDepthSource(std::function<int()> source);

} // namespace pelisto

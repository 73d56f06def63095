#pragma once

#include "platform/Exception.h"

#include <QImage>
#include <QRect>
#include <QString>
#include <functional>
#include <memory>
#include <typeindex>

class QFile;
class QIODevice;
class QPainter;

namespace tovari {

// Opens a picture file for reading: EInvalidGraphic when it is not a regular file (nothing is read from a
// pipe or device), EFOpenError when it cannot be opened.
void OpenPictureFile(QFile& file, const QString& path);

enum TProgressStage { psStarting, psRunning, psEnding };

class TGraphic;

// (Sender, stage, percent 0..100, redraw now, rectangle already available, message)
using TProgressEvent =
    std::function<void(const TGraphic& sender, TProgressStage stage, int percent, bool redrawNow, const QRect& rect,
                       const QString& message)>;

// Abstract picture: something with a size that can draw itself into a rectangle of a canvas.
// Drawing into a rectangle of another size is a plain nearest-neighbour stretch (rows and columns
// are dropped or repeated, never blended), except for vector pictures.
class TGraphic {
public:
    TGraphic() = default;
    TGraphic(const TGraphic&) = delete;
    TGraphic& operator=(const TGraphic&) = delete;
    virtual ~TGraphic() = default;

    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual bool Empty() const = 0;
    // Pictures that keep their size in their data ignore these.
    virtual void SetWidth(int width) {}
    virtual void SetHeight(int height) {}

    // The canvas is a painter on a QImage. Throws EInvalidGraphic when the data turns out to be broken;
    // what was drawn up to then stays on the canvas.
    virtual void Draw(QPainter& canvas, const QRect& rect) const = 0;
    // The whole picture at its natural size (alpha kept where the picture has it).
    virtual QImage ToImage() const;

    virtual void LoadFromFile(const QString& path);
    // Reads from the stream's current position.
    virtual void LoadFromStream(QIODevice& stream) = 0;
    virtual void SaveToFile(const QString& path) const;
    virtual void SaveToStream(QIODevice& stream) const = 0;
    // Takes over the picture of source; the default accepts only an object of the same class.
    virtual void Assign(const TGraphic& source);

    TProgressEvent OnProgress;
    std::function<void(TGraphic& sender)> OnChange;

protected:
    void Progress(TProgressStage stage, int percent, bool redrawNow, const QRect& rect,
                  const QString& message) const;
    void Changed();
};

// The rest of the stream from its current position; throws EInvalidGraphic past 1 GiB or on a read error.
QByteArray ReadPictureData(QIODevice& stream);

// A class reference for the picture-format registry: the class's identity (to unregister all of its
// formats at once) and its virtual constructor.
class TGraphicClass {
public:
    template <class T>
    static TGraphicClass Of()
    {
        return TGraphicClass(typeid(T), [] { return std::unique_ptr<TGraphic>(std::make_unique<T>()); });
    }
    TGraphicClass(std::type_index id, std::function<std::unique_ptr<TGraphic>()> create)
        : id_(id), create_(std::move(create))
    {
    }

    std::unique_ptr<TGraphic> Create() const { return create_(); }
    std::type_index Id() const { return id_; }
    bool operator==(const TGraphicClass& other) const { return id_ == other.id_; }

private:
    std::type_index id_;
    std::function<std::unique_ptr<TGraphic>()> create_;
};

}  // namespace tovari

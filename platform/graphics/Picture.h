#pragma once

#include "platform/graphics/Graphic.h"

#include <QList>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

namespace tovari {

struct TFileFormat {
    QString Extension;  // without the dot, as registered
    QString Description;
    TGraphicClass GraphicClass;
};

// The picture-format registry: which graphic class reads files of which extension. Extensions
// compare without regard to case and the newest registration of an extension wins. Global() is
// the toolkit's process-wide table with the built-in formats; other instances serve tests.
class TPictureFormats {
public:
    // withBuiltIns registers bmp, ico, emf, wmf, jpg and jpeg.
    explicit TPictureFormats(bool withBuiltIns = true);
    static TPictureFormats& Global();

    // Throws EInvalidGraphic for an empty extension or one that contains a dot at its start.
    void Register(const QString& extension, const QString& description, const TGraphicClass& graphicClass);
    // Removes every registration of the class.
    void Unregister(const TGraphicClass& graphicClass);
    // The class of the newest registration of the extension (with or without its dot).
    std::optional<TGraphicClass> Find(const QString& extension) const;
    // Every registration, oldest first.
    std::vector<TFileFormat> Formats() const;

private:
    std::vector<TFileFormat> formats_;
};

// Holds one graphic of whatever class; loading by file name picks the class by the extension.
class TPicture {
public:
    explicit TPicture(const TPictureFormats& formats = TPictureFormats::Global()) : formats_(formats) {}

    // Throws EInvalidGraphic for an extension without a registered class, or whatever the graphic's
    // own load throws; the picture keeps its previous graphic when the load fails.
    void LoadFromFile(const QString& path);
    // As LoadFromFile, for the bytes of a file called name.
    void LoadFromStream(QIODevice& stream, const QString& name);
    void SaveToFile(const QString& path) const;

    TGraphic* Graphic() const { return graphic_.get(); }
    void SetGraphic(std::unique_ptr<TGraphic> graphic) { graphic_ = std::move(graphic); }
    int Width() const { return graphic_ ? graphic_->Width() : 0; }
    int Height() const { return graphic_ ? graphic_->Height() : 0; }
    bool Empty() const { return !graphic_ || graphic_->Empty(); }

    // Handed to every graphic this picture loads.
    TProgressEvent OnProgress;

private:
    std::unique_ptr<TGraphic> CreateFor(const QString& name) const;

    const TPictureFormats& formats_;
    std::unique_ptr<TGraphic> graphic_;
};

// The extension of a file name without its dot: the text after the last dot of the last path part.
QString FileExtension(const QString& path);

}  // namespace tovari

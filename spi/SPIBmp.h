#pragma once

#include "platform/graphics/Bitmap.h"
#include "spi/SPIs.h"

#include <QBuffer>
#include <exception>

class QIODevice;

namespace tovari {

class TSPIGraphic;

// Where the bytes of one load come from. It runs the trial of plug-ins and owns the memory a plug-in
// returns until FreeHandles.
class TInSPIAbleData {
public:
    virtual ~TInSPIAbleData();
    TInSPIAbleData(const TInSPIAbleData&) = delete;
    TInSPIAbleData& operator=(const TInSPIAbleData&) = delete;

    // Tries the candidate plug-ins until one hands back a picture that passes the checks.
    void LoadGraphic();
    void FreeHandles();
    void* LockInfo();
    void* LockBits();
    // The pixel block, unlocked, now the caller's to free.
    HLOCAL ReleaseBits();
    bool IsEmpty() const { return !info_ || !bits_; }
    void Progress(TProgressStage stage, int percent, const QString& message);
    const QString& FileName() const { return fileName_; }

    TProgressEvent OnProgress;

protected:
    TInSPIAbleData(const TSPIGraphic& owner, QString fileName) : owner_(owner), fileName_(std::move(fileName)) {}

    virtual void ReadHeader(char* buffer, qint64 count) = 0;
    virtual int GetPictureInfo(const TSPI& spi, qint64 offset, SpiPictureInfo& info) = 0;
    virtual void GetPreview(const TSPI& spi, qint64 offset, HLOCAL& info, HLOCAL& bits) = 0;
    virtual void GetPicture(const TSPI& spi, qint64 offset, HLOCAL& info, HLOCAL& bits) = 0;

    // Runs one GetPicture or GetPreview call: the handles are 0 unless the plug-in answered 0, and an error
    // raised by a progress handler inside the call comes out here, after the plug-in has returned.
    template <class Call>
    void RunPluginCall(HLOCAL& info, HLOCAL& bits, Call call);
    static int ProgressCallback(int done, int total, intptr_t userData);

private:
    void TrySpi(const TSPI& spi, const char* header, qint64 offset);
    // A plug-in's result is untrusted: its header and block sizes must agree before a pixel is read.
    bool ResultIsSound();

    const TSPIGraphic& owner_;
    HLOCAL info_ = nullptr;
    HLOCAL bits_ = nullptr;
    void* lockedInfo_ = nullptr;
    void* lockedBits_ = nullptr;
    QString fileName_;
    SpiPictureInfo pictureInfo_{};
    std::exception_ptr pendingError_;
};

// A file on disk, handed to the plug-ins by name and offset.
class TInSPIAbleFromFile : public TInSPIAbleData {
public:
    TInSPIAbleFromFile(const TSPIGraphic& owner, const QString& fileName) : TInSPIAbleData(owner, fileName) {}

protected:
    void ReadHeader(char* buffer, qint64 count) override;
    int GetPictureInfo(const TSPI& spi, qint64 offset, SpiPictureInfo& info) override;
    void GetPreview(const TSPI& spi, qint64 offset, HLOCAL& info, HLOCAL& bits) override;
    void GetPicture(const TSPI& spi, qint64 offset, HLOCAL& info, HLOCAL& bits) override;

private:
    QByteArray nativeName_;
};

// A stream, handed to the plug-ins as a memory block from its first byte. A QBuffer's own memory is used in
// place (the caller keeps it alive); any other stream is copied whole.
class TInSPIAbleFromStream : public TInSPIAbleData {
public:
    TInSPIAbleFromStream(const TSPIGraphic& owner, QIODevice& stream, const QString& name);

protected:
    void ReadHeader(char* buffer, qint64 count) override;
    int GetPictureInfo(const TSPI& spi, qint64 offset, SpiPictureInfo& info) override;
    void GetPreview(const TSPI& spi, qint64 offset, HLOCAL& info, HLOCAL& bits) override;
    void GetPicture(const TSPI& spi, qint64 offset, HLOCAL& info, HLOCAL& bits) override;

private:
    QByteArray copy_;
    const char* memory_ = nullptr;
    qint64 size_ = 0;
};

// A picture whose pixels are a plug-in's device-independent bitmap, drawn from that memory.
class TSPIGraphic : public TGraphic {
public:
    TSPIGraphic() = default;
    ~TSPIGraphic() override;

    int Width() const override;
    // The header's height, negative for top-down rows.
    int Height() const override;
    bool Empty() const override;
    void Draw(QPainter& canvas, const QRect& rect) const override;

    void LoadFromFile(const QString& path) override;
    void LoadFromStream(QIODevice& stream) override { LoadFromStreamWithName(stream, QString()); }
    virtual void LoadFromStreamWithName(QIODevice& stream, const QString& name);
    // A Windows bitmap file: file header, the info bytes, the pixel rows.
    void SaveToStream(QIODevice& stream) const override;
    QByteArray SaveToBytes() const;
    // Hands the pixels of a 24- or 32-bit picture over top row first and frees the data: RGB32, or
    // ARGB32 when the fourth bytes are straight alpha that is not all opaque (fourth bytes all 0 mean
    // an opaque picture). 32-bit rows stay in the plug-in's block, reordered in place. A null image,
    // with the data kept, for other depths.
    QImage TakeImage();

    QList<QRgb> Palette() const;
    bool Is4Bit() const;
    int BitsPerPixel() const;
    int InfoSize() const;
    int ImageSize() const;
    int Colours() const;
    // Frees the data and palette, as after a failed load.
    void FreeData();

private:
    template <class Source, class... Args>
    void Decode(Args&&... args);
    void ComputeInfo() const;

    std::unique_ptr<TInSPIAbleData> data_;
    mutable int height_ = 0;
    mutable int width_ = 0;
    mutable QList<QRgb> palette_;
    mutable int infoSize_ = 0;
    mutable int imageSize_ = 0;
    mutable int colours_ = 0;
    mutable int bits_ = 0;
    mutable bool fourBit_ = false;
    mutable bool infoReady_ = false;
};

// An ordinary bitmap that loads itself through the plug-ins (or the built-in bitmap reader) and then holds
// a plain copy of the pixels.
class TSPIBitmap : public TBitmap {
public:
    TSPIBitmap() = default;

    void LoadFromFile(const QString& path) override;
    void LoadFromStream(QIODevice& stream) override { LoadFromStreamWithName(stream, QString()); }
    virtual void LoadFromStreamWithName(QIODevice& stream, const QString& name);
    // Takes the graphic over and always destroys it; nothing raises EInvalidGraphic.
    virtual void LoadFromGraphic(std::unique_ptr<TGraphic> graphic);
    void Assign(const TGraphic& source) override;

private:
    template <class LoadSpi, class LoadBitmap>
    void LoadWithReaders(const QString& name, LoadSpi loadSpi, LoadBitmap loadBitmap, QIODevice* stream);
    std::unique_ptr<TGraphic> Relayed(std::unique_ptr<TGraphic> reader);
};

// While it lives, import plug-ins register their patterns as TSPIBitmap formats; when it goes, every
// TSPIBitmap registration leaves the picture-format registry.
class TSPIBitmapRegistration {
public:
    explicit TSPIBitmapRegistration(TPictureFormats& formats = TPictureFormats::Global());
    ~TSPIBitmapRegistration();
    TSPIBitmapRegistration(const TSPIBitmapRegistration&) = delete;
    TSPIBitmapRegistration& operator=(const TSPIBitmapRegistration&) = delete;

private:
    TPictureFormats& formats_;
};

// The plug-in's progress as a percent: done * 97 / total rounded, plus 2, kept in one byte.
int SpiProgressPercent(int done, int total);

}  // namespace tovari

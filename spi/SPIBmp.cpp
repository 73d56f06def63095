#include "spi/SPIBmp.h"

#include "platform/FileName.h"
#include "platform/graphics/BmpFormat.h"
#include "platform/graphics/Sampling.h"

#include <QFile>
#include <QPainter>
#include <QtEndian>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace tovari {

namespace {

constexpr qint64 kMacBinaryHeader = 128;
constexpr int kHeaderBufferBytes = SPI_HEADER_BYTES + int(kMacBinaryHeader);
constexpr quint32 kInfoHeaderBytes = 40;
const QString kCouldNotDecode = QStringLiteral("Susie Plugins could not decode");

int MulDiv(int number, int numerator, int denominator)
{
    if (denominator == 0)
        return -1;
    const qint64 product = qint64(number) * numerator;
    qint64 quotient = product / denominator;
    const qint64 remainder = product % denominator;
    if (2 * std::llabs(remainder) >= std::llabs(qint64(denominator)))
        quotient += ((product < 0) != (denominator < 0)) ? -1 : 1;
    if (quotient > INT_MAX || quotient < INT_MIN)
        return -1;
    return int(quotient);
}

int DefaultColours(int bits)
{
    switch (bits) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
    }
}

qint64 RowBytes(qint64 width, int bits)
{
    return ((width * bits + 31) / 32) * 4;
}

QString WithoutFolder(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// One DIB row as 32-bit pixels.
void RowToRgb32(const uchar* in, int width, int bits, const QList<QRgb>& palette, quint32* out)
{
    auto colour = [&](int index) { return index < palette.size() ? palette[index] : qRgb(0, 0, 0); };
    for (int x = 0; x < width; ++x) {
        switch (bits) {
        case 1: out[x] = colour((in[x / 8] >> (7 - x % 8)) & 1); break;
        case 4: out[x] = colour((in[x / 2] >> (x % 2 ? 0 : 4)) & 15); break;
        case 8: out[x] = colour(in[x]); break;
        case 16: {
            const quint16 v = qFromLittleEndian<quint16>(in + 2 * x);
            const int r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
            out[x] = qRgb(r * 255 / 31, g * 255 / 31, b * 255 / 31);
            break;
        }
        case 24: out[x] = qRgb(in[3 * x + 2], in[3 * x + 1], in[3 * x]); break;
        default: out[x] = qRgb(in[4 * x + 2], in[4 * x + 1], in[4 * x]); break;
        }
    }
}

}  // namespace

int SpiProgressPercent(int done, int total)
{
    return quint8(MulDiv(done, 97, total) + 2);
}

TInSPIAbleData::~TInSPIAbleData()
{
    FreeHandles();
}

void TInSPIAbleData::Progress(TProgressStage stage, int percent, const QString& message)
{
    if (OnProgress)
        OnProgress(owner_, stage, percent, stage == psEnding, QRect(0, 0, 0, 0), message);
}

void TInSPIAbleData::FreeHandles()
{
    if (lockedInfo_)
        LocalUnlock(info_);
    if (lockedBits_)
        LocalUnlock(bits_);
    lockedInfo_ = lockedBits_ = nullptr;
    // A text handle that is also one of the bitmap's blocks is freed once.
    if (pictureInfo_.hInfo && pictureInfo_.hInfo != info_ && pictureInfo_.hInfo != bits_)
        LocalFree(pictureInfo_.hInfo);
    if (info_)
        LocalFree(info_);
    if (bits_)
        LocalFree(bits_);
    info_ = bits_ = pictureInfo_.hInfo = nullptr;
}

void* TInSPIAbleData::LockInfo()
{
    if (!lockedInfo_ && info_)
        lockedInfo_ = LocalLock(info_);
    return lockedInfo_;
}

void* TInSPIAbleData::LockBits()
{
    if (!lockedBits_ && bits_)
        lockedBits_ = LocalLock(bits_);
    return lockedBits_;
}

HLOCAL TInSPIAbleData::ReleaseBits()
{
    if (lockedBits_)
        LocalUnlock(bits_);
    lockedBits_ = nullptr;
    return std::exchange(bits_, nullptr);
}

void TInSPIAbleData::LoadGraphic()
{
    TSPIs* spis = TSPIs::GetSPIs();
    const int offsetCount = spis && spis->MacBinary ? 2 : 1;
    const qint64 offsets[2] = {0, kMacBinaryHeader};
    try {
        Progress(psStarting, 0, QStringLiteral("Loading Graphic by Susie Plugin"));
        FreeHandles();
        Progress(psRunning, 1, QStringLiteral("Seeking enabled Susie Plugins"));
        std::vector<TSPI*> candidates;
        if (spis)
            spis->FindSPIs({&SPIClass<TInSPI>}, fileName_, candidates);
        std::vector<char> header(kHeaderBufferBytes, 0);
        ReadHeader(header.data(), kHeaderBufferBytes);
        bool done = false;
        for (TSPI* spi : candidates) {
            for (int k = 0; k < offsetCount && !done; ++k) {
                Progress(psRunning, 1, QStringLiteral("Loading by [%1]").arg(WithoutFolder(spi->FileName())));
                TrySpi(*spi, header.data(), offsets[k]);
                if (!IsEmpty() && ResultIsSound())
                    done = true;
                else
                    FreeHandles();
            }
            if (done)
                break;
        }
    } catch (...) {
        Progress(psEnding, 100, QStringLiteral("Loaded Graphic by Susie Plugin"));
        throw;
    }
    Progress(psEnding, 100, QStringLiteral("Loaded Graphic by Susie Plugin"));
}

void TInSPIAbleData::TrySpi(const TSPI& spi, const char* header, qint64 offset)
{
    const QByteArray name = NativePath(fileName_);
    if (spi.IsSupported(name.constData(), const_cast<char*>(header + offset)) == 0)
        return;
    pictureInfo_ = SpiPictureInfo{};
    GetPictureInfo(spi, offset, pictureInfo_);
    TSPIs* spis = TSPIs::GetSPIs();
    if (spis && spis->GraphicPreview) {
        GetPreview(spi, offset, info_, bits_);
        if (info_ && bits_)
            return;
        // A preview that came back half is dropped before the full picture is asked for.
        LocalFree(info_);
        LocalFree(bits_);
        info_ = bits_ = nullptr;
    }
    GetPicture(spi, offset, info_, bits_);
}

bool TInSPIAbleData::ResultIsSound()
{
    // Every handle is distinct: a block freed as one of them must never still be in use as another.
    const HLOCAL text = pictureInfo_.hInfo;
    if (info_ == bits_ || (text && (text == info_ || text == bits_)) || LocalSize(info_) < kInfoHeaderBytes)
        return false;
    const auto* h = static_cast<const SpiBitmapInfoHeader*>(LockInfo());
    if (!h || h->biSize != kInfoHeaderBytes || h->biPlanes != 1 || h->biCompression != 0)
        return false;
    const int bits = h->biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return false;
    const qint64 width = h->biWidth;
    const qint64 height = std::llabs(qint64(h->biHeight));
    if (width <= 0 || width > kMaxPictureSide || height == 0 || height > kMaxPictureSide)
        return false;
    if (h->biClrUsed > (bits <= 8 ? (1u << bits) : 256u))
        return false;
    const qint64 colours = h->biClrUsed ? qint64(h->biClrUsed) : DefaultColours(bits);
    if (qint64(LocalSize(info_)) < kInfoHeaderBytes + 4 * colours)
        return false;
    if (width * height * 4 > kMaxDecodedBytes)
        return false;
    return qint64(LocalSize(bits_)) >= height * RowBytes(width, bits) && LockBits();
}

template <class Call>
void TInSPIAbleData::RunPluginCall(HLOCAL& info, HLOCAL& bits, Call call)
{
    HLOCAL newInfo = nullptr;
    HLOCAL newBits = nullptr;
    pendingError_ = nullptr;
    if (call(&newInfo, &newBits) != 0) {
        // Whatever a failing plug-in left behind is freed here: the host owns it from the return on.
        LocalFree(newInfo);
        LocalFree(newBits);
        newInfo = newBits = nullptr;
    }
    info = newInfo;
    bits = newBits;
    if (pendingError_) {
        std::exception_ptr error = pendingError_;
        pendingError_ = nullptr;
        std::rethrow_exception(error);
    }
}

int TInSPIAbleData::ProgressCallback(int done, int total, intptr_t userData)
{
    auto* data = reinterpret_cast<TInSPIAbleData*>(userData);
    if (!data || !data->OnProgress)
        return 0;
    if (data->pendingError_)
        return 1;
    // Nothing may unwind through the plug-in's frames: an error waits until the plug-in has returned.
    try {
        data->Progress(psRunning, SpiProgressPercent(done, total), QString());
    } catch (const EAbort&) {
        return 1;
    } catch (...) {
        data->pendingError_ = std::current_exception();
        return 1;
    }
    return 0;
}

void TInSPIAbleFromFile::ReadHeader(char* buffer, qint64 count)
{
    // Also the check before any plug-in is handed the name: a plug-in opens the file itself, and a pipe or
    // device could block it for good.
    QFile file;
    OpenPictureFile(file, FileName());
    file.read(buffer, count);
}

int TInSPIAbleFromFile::GetPictureInfo(const TSPI& spi, qint64 offset, SpiPictureInfo& info)
{
    return spi.GetPictureInfo(NativePath(FileName()).constData(), intptr_t(offset), SPI_SOURCE_FILE, &info);
}

void TInSPIAbleFromFile::GetPreview(const TSPI& spi, qint64 offset, HLOCAL& info, HLOCAL& bits)
{
    const QByteArray name = NativePath(FileName());
    try {
        RunPluginCall(info, bits, [&](HLOCAL* i, HLOCAL* b) {
            return spi.GetPreview(name.constData(), intptr_t(offset), SPI_SOURCE_FILE, i, b, &ProgressCallback,
                                  intptr_t(this));
        });
    } catch (const ESPIInvalidAPI&) {
        // A plug-in without a preview simply has none.
        info = bits = nullptr;
    }
}

void TInSPIAbleFromFile::GetPicture(const TSPI& spi, qint64 offset, HLOCAL& info, HLOCAL& bits)
{
    const QByteArray name = NativePath(FileName());
    RunPluginCall(info, bits, [&](HLOCAL* i, HLOCAL* b) {
        return spi.GetPicture(name.constData(), intptr_t(offset), SPI_SOURCE_FILE, i, b, &ProgressCallback,
                              intptr_t(this));
    });
}

TInSPIAbleFromStream::TInSPIAbleFromStream(const TSPIGraphic& owner, QIODevice& stream, const QString& name)
    : TInSPIAbleData(owner, name)
{
    if (auto* buffer = qobject_cast<QBuffer*>(&stream)) {
        memory_ = buffer->data().constData();
        size_ = buffer->data().size();
        return;
    }
    if (!stream.isSequential())
        stream.seek(0);
    copy_ = ReadPictureData(stream);
    memory_ = copy_.constData();
    size_ = copy_.size();
}

void TInSPIAbleFromStream::ReadHeader(char* buffer, qint64 count)
{
    std::memcpy(buffer, memory_, std::size_t(std::min(size_, count)));
}

int TInSPIAbleFromStream::GetPictureInfo(const TSPI& spi, qint64 offset, SpiPictureInfo& info)
{
    if (offset > size_)
        return SPI_NOT_SUPPORT;
    return spi.GetPictureInfo(memory_ + offset, intptr_t(size_ - offset), SPI_SOURCE_MEMORY, &info);
}

void TInSPIAbleFromStream::GetPreview(const TSPI& spi, qint64 offset, HLOCAL& info, HLOCAL& bits)
{
    info = bits = nullptr;
    // A block shorter than the offset has nothing to hand over.
    if (offset > size_)
        return;
    try {
        RunPluginCall(info, bits, [&](HLOCAL* i, HLOCAL* b) {
            return spi.GetPreview(memory_ + offset, intptr_t(size_ - offset), SPI_SOURCE_MEMORY, i, b,
                                  &ProgressCallback, intptr_t(this));
        });
    } catch (const ESPIInvalidAPI&) {
        info = bits = nullptr;
    }
}

void TInSPIAbleFromStream::GetPicture(const TSPI& spi, qint64 offset, HLOCAL& info, HLOCAL& bits)
{
    info = bits = nullptr;
    if (offset > size_)
        return;
    RunPluginCall(info, bits, [&](HLOCAL* i, HLOCAL* b) {
        return spi.GetPicture(memory_ + offset, intptr_t(size_ - offset), SPI_SOURCE_MEMORY, i, b, &ProgressCallback,
                              intptr_t(this));
    });
}

TSPIGraphic::~TSPIGraphic()
{
    FreeData();
}

void TSPIGraphic::FreeData()
{
    data_.reset();
    palette_.clear();
    infoReady_ = false;
}

template <class Source, class... Args>
void TSPIGraphic::Decode(Args&&... args)
{
    FreeData();
    try {
        data_ = std::make_unique<Source>(*this, std::forward<Args>(args)...);
        data_->OnProgress = OnProgress;
        data_->LoadGraphic();
        if (data_->IsEmpty())
            throw EInvalidGraphic(kCouldNotDecode);
    } catch (...) {
        FreeData();
        throw;
    }
    Changed();
}

void TSPIGraphic::LoadFromFile(const QString& path)
{
    Decode<TInSPIAbleFromFile>(path);
}

void TSPIGraphic::LoadFromStreamWithName(QIODevice& stream, const QString& name)
{
    Decode<TInSPIAbleFromStream>(stream, name);
}

void TSPIGraphic::ComputeInfo() const
{
    if (infoReady_)
        return;
    infoReady_ = true;
    width_ = height_ = infoSize_ = imageSize_ = colours_ = bits_ = 0;
    fourBit_ = false;
    palette_.clear();
    if (Empty())
        return;
    // The header was checked against the block sizes when the plug-in handed it over.
    const auto* h = static_cast<const SpiBitmapInfoHeader*>(data_->LockInfo());
    width_ = h->biWidth;
    height_ = h->biHeight;
    bits_ = h->biBitCount;
    colours_ = h->biClrUsed ? int(h->biClrUsed) : DefaultColours(bits_);
    imageSize_ = int(std::llabs(qint64(height_)) * RowBytes(width_, bits_));
    infoSize_ = int(kInfoHeaderBytes) + 4 * colours_;
    fourBit_ = bits_ == 4;
    const auto* table = reinterpret_cast<const uchar*>(h) + kInfoHeaderBytes;
    for (int i = 0; i < colours_; ++i)
        palette_.append(qRgb(table[4 * i + 2], table[4 * i + 1], table[4 * i]));
}

bool TSPIGraphic::Empty() const
{
    return !data_ || data_->IsEmpty();
}

int TSPIGraphic::Width() const
{
    ComputeInfo();
    return width_;
}

int TSPIGraphic::Height() const
{
    ComputeInfo();
    return height_;
}

QList<QRgb> TSPIGraphic::Palette() const
{
    ComputeInfo();
    return palette_;
}

bool TSPIGraphic::Is4Bit() const
{
    ComputeInfo();
    return fourBit_;
}

int TSPIGraphic::BitsPerPixel() const
{
    ComputeInfo();
    return bits_;
}

int TSPIGraphic::InfoSize() const
{
    ComputeInfo();
    return infoSize_;
}

int TSPIGraphic::ImageSize() const
{
    ComputeInfo();
    return imageSize_;
}

int TSPIGraphic::Colours() const
{
    ComputeInfo();
    return colours_;
}

void TSPIGraphic::Draw(QPainter& canvas, const QRect& rect) const
{
    if (!data_)
        return;
    ComputeInfo();
    if (Empty())
        return;
    const int rows = int(std::llabs(qint64(height_)));
    TStretch stretch(canvas, rect.normalized(), QSize(width_, rows), false);
    if (stretch.Empty())
        return;
    const auto* pixels = static_cast<const uchar*>(data_->LockBits());
    const qint64 rowBytes = RowBytes(width_, bits_);
    std::vector<quint32> row(static_cast<std::size_t>(width_));
    for (int y : stretch.SourceRows()) {
        const int stored = height_ > 0 ? rows - 1 - y : y;
        RowToRgb32(pixels + stored * rowBytes, width_, bits_, palette_, row.data());
        stretch.PutSourceRow(y, row.data());
    }
    stretch.Flush();
}

QByteArray TSPIGraphic::SaveToBytes() const
{
    ComputeInfo();
    if (Empty())
        return QByteArray();
    const qint64 total = 14 + qint64(infoSize_) + imageSize_;
    QByteArray file(total, Qt::Uninitialized);
    uchar* out = reinterpret_cast<uchar*>(file.data());
    out[0] = 'B';
    out[1] = 'M';
    qToLittleEndian<quint32>(quint32(total), out + 2);
    qToLittleEndian<quint32>(0, out + 6);
    qToLittleEndian<quint32>(quint32(14 + infoSize_), out + 10);
    std::memcpy(out + 14, data_->LockInfo(), std::size_t(infoSize_));
    std::memcpy(out + 14 + infoSize_, data_->LockBits(), std::size_t(imageSize_));
    return file;
}

namespace {

void FreeLocalBlock(void* block)
{
    LocalUnlock(block);
    LocalFree(block);
}

// Bottom-up rows become top-down by swapping pairs. The fourth bytes are straight alpha, except
// that a picture whose fourth bytes are all 0 is opaque: plug-ins written for other hosts leave the
// byte 0. Returns whether any pixel is not wholly opaque.
bool TopRowFirst(quint32* pixels, int width, int rows, bool bottomUp)
{
    quint32 any = 0, all = 0xFF000000u;
    const qint64 count = qint64(width) * rows;
    if (!bottomUp) {
        for (qint64 i = 0; i < count; ++i) {
            any |= pixels[i];
            all &= pixels[i];
        }
    }
    for (int y = 0, z = rows - 1; bottomUp && y <= z; ++y, --z) {
        quint32* top = pixels + qint64(y) * width;
        quint32* bottom = pixels + qint64(z) * width;
        for (int x = 0; x < width; ++x) {
            const quint32 t = top[x], b = bottom[x];
            top[x] = b;
            bottom[x] = t;
            any |= t | b;
            all &= t & b;
        }
    }
    if ((any & 0xFF000000u) == 0) {
        for (qint64 i = 0; i < count; ++i)
            pixels[i] |= 0xFF000000u;
        return false;
    }
    return (all & 0xFF000000u) != 0xFF000000u;
}

}  // namespace

QImage TSPIGraphic::TakeImage()
{
    ComputeInfo();
    if (Empty() || (bits_ != 24 && bits_ != 32))
        return QImage();
    const int rows = int(std::llabs(qint64(height_)));
    auto outOfMemory = [&] {
        return EInvalidGraphic(QStringLiteral("Out of memory for a %1 x %2 bitmap").arg(width_).arg(rows));
    };
    if (bits_ == 32) {
        // The plug-in's block becomes the picture's memory: a photo is never held twice.
        HLOCAL block = data_->ReleaseBits();
        auto* pixels = static_cast<quint32*>(LocalLock(block));
        if (!pixels) {
            FreeLocalBlock(block);
            throw outOfMemory();
        }
        const bool alpha = TopRowFirst(pixels, width_, rows, height_ > 0);
        QImage image(reinterpret_cast<uchar*>(pixels), width_, rows, qsizetype(width_) * 4,
                     alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32, FreeLocalBlock, block);
        if (image.isNull()) {
            FreeLocalBlock(block);
            throw outOfMemory();
        }
        FreeData();
        return image;
    }
    QImage image(width_, rows, QImage::Format_RGB32);
    if (image.isNull())
        throw outOfMemory();
    const auto* pixels = static_cast<const uchar*>(data_->LockBits());
    const qint64 rowBytes = RowBytes(width_, bits_);
    for (int y = 0; y < rows; ++y) {
        const uchar* in = pixels + (height_ > 0 ? rows - 1 - y : y) * rowBytes;
        auto* out = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < width_; ++x, in += 3)
            out[x] = 0xFF000000u | quint32(in[2]) << 16 | quint32(in[1]) << 8 | in[0];
    }
    FreeData();
    return image;
}

void TSPIGraphic::SaveToStream(QIODevice& stream) const
{
    const QByteArray file = SaveToBytes();
    if (stream.write(file) != file.size())
        throw EFOpenError(QStringLiteral("Cannot write the bitmap: %1").arg(stream.errorString()));
}

std::unique_ptr<TGraphic> TSPIBitmap::Relayed(std::unique_ptr<TGraphic> reader)
{
    // The reader's own end is not this bitmap's end: that report comes once the pixels are here.
    reader->OnProgress = [this](const TGraphic&, TProgressStage stage, int percent, bool redrawNow, const QRect& rect,
                                const QString& message) {
        if (stage != psEnding)
            Progress(stage, percent, redrawNow, rect, message);
    };
    return reader;
}

template <class LoadSpi, class LoadBitmap>
void TSPIBitmap::LoadWithReaders(const QString& name, LoadSpi loadSpi, LoadBitmap loadBitmap, QIODevice* stream)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const bool bitmapFirst = dot >= 0 && dot > name.lastIndexOf(QLatin1Char('/')) &&
                             name.mid(dot).toUpper() == QLatin1String(".BMP");
    const qint64 position = stream ? stream->pos() : 0;
    std::unique_ptr<TGraphic> result;
    for (int turn = 0; turn < 2 && !result; ++turn) {
        const bool spiTurn = (turn == 0) != bitmapFirst;
        std::unique_ptr<TGraphic> reader =
            spiTurn ? Relayed(std::make_unique<TSPIGraphic>()) : Relayed(std::make_unique<TBitmap>());
        try {
            if (spiTurn)
                loadSpi(static_cast<TSPIGraphic&>(*reader));
            else
                loadBitmap(static_cast<TBitmap&>(*reader));
            result = std::move(reader);
        } catch (const std::exception&) {
            // This reader could not read it; the next one gets the same bytes.
            reader.reset();
            if (stream)
                stream->seek(position);
        }
    }
    try {
        LoadFromGraphic(std::move(result));
    } catch (...) {
        Progress(psEnding, 100, true, QRect(0, 0, Width(), Height()), QStringLiteral("Loaded Graphic"));
        throw;
    }
    Progress(psEnding, 100, true, QRect(0, 0, Width(), Height()), QStringLiteral("Loaded Graphic"));
}

void TSPIBitmap::LoadFromFile(const QString& path)
{
    LoadWithReaders(
        path, [&](TSPIGraphic& g) { g.LoadFromFile(path); }, [&](TBitmap& b) { b.LoadFromFile(path); }, nullptr);
}

void TSPIBitmap::LoadFromStreamWithName(QIODevice& stream, const QString& name)
{
    LoadWithReaders(
        name, [&](TSPIGraphic& g) { g.LoadFromStreamWithName(stream, name); },
        [&](TBitmap& b) { b.LoadFromStream(stream); }, &stream);
}

void TSPIBitmap::LoadFromGraphic(std::unique_ptr<TGraphic> graphic)
{
    if (!graphic)
        throw EInvalidGraphic(kCouldNotDecode);
    auto* spi = dynamic_cast<TSPIGraphic*>(graphic.get());
    if (!spi) {
        TBitmap::Assign(*graphic);
        return;
    }
    // 24- and 32-bit rows go straight into the bitmap: the same pixels the bitmap file would give, without
    // the file and its second copy of the picture.
    const int bits = spi->BitsPerPixel();
    QImage direct = spi->TakeImage();
    if (!direct.isNull()) {
        TBitmap converted;
        converted.SetImage(direct, bits >= 32 ? pf32bit : pf24bit);
        direct = QImage();
        TBitmap::Assign(converted);
        return;
    }
    const bool fourBit = spi->Is4Bit();
    const QList<QRgb> palette = fourBit ? spi->Palette() : QList<QRgb>();
    QByteArray file = spi->SaveToBytes();
    // The plug-in's memory goes before the pixels are read back, so at most two copies live at once.
    spi->FreeData();
    TDecodedBitmap decoded = ReadBmpFile(file);
    file = QByteArray();
    TBitmap converted;
    converted.SetImage(decoded.image, decoded.format);
    decoded.image = QImage();
    TBitmap::Assign(converted);
    if (fourBit)
        SetPalette(palette);
}

void TSPIBitmap::Assign(const TGraphic& source)
{
    const auto* spi = dynamic_cast<const TSPIGraphic*>(&source);
    if (!spi) {
        TBitmap::Assign(source);
        return;
    }
    TDecodedBitmap decoded = ReadBmpFile(spi->SaveToBytes());
    TBitmap converted;
    converted.SetImage(decoded.image, decoded.format);
    TBitmap::Assign(converted);
    if (spi->Is4Bit())
        SetPalette(spi->Palette());
}

TSPIBitmapRegistration::TSPIBitmapRegistration(TPictureFormats& formats) : formats_(formats)
{
    TSPIs::SetGraphicClass(TGraphicClass::Of<TSPIBitmap>());
}

TSPIBitmapRegistration::~TSPIBitmapRegistration()
{
    formats_.Unregister(TGraphicClass::Of<TSPIBitmap>());
    TSPIs::SetGraphicClass(std::nullopt);
}

}  // namespace tovari

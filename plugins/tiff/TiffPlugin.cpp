// TIFF through libtiff's RGBA interface, read in bands of rows so that progress and stop requests come through.
#include "../common/PluginKit.h"

#include <algorithm>
#include <cstring>
#include <tiffio.h>
#include <vector>

using namespace tovari::plugin;

namespace {

const char* const kInfo[] = {"00IN", "tovari TIFF plug-in 1.0 (libtiff)", "*.tif;*.tiff", "TIFF 画像"};

struct Reader {
    const uint8_t* data;
    std::size_t size;
    toff_t position;
};

tmsize_t ReadProc(thandle_t h, void* out, tmsize_t count)
{
    auto* r = static_cast<Reader*>(h);
    if (count < 0 || r->position >= r->size)
        return 0;
    const std::size_t n = std::min<std::size_t>(std::size_t(count), r->size - std::size_t(r->position));
    std::memcpy(out, r->data + r->position, n);
    r->position += n;
    return tmsize_t(n);
}

tmsize_t WriteProc(thandle_t, void*, tmsize_t)
{
    return 0;
}

toff_t SeekProc(thandle_t h, toff_t offset, int whence)
{
    auto* r = static_cast<Reader*>(h);
    const toff_t base = whence == SEEK_CUR ? r->position : whence == SEEK_END ? toff_t(r->size) : 0;
    r->position = base + offset;
    return r->position;
}

int CloseProc(thandle_t)
{
    return 0;
}

toff_t SizeProc(thandle_t h)
{
    return static_cast<Reader*>(h)->size;
}

bool IsTiff(const uint8_t* h, std::size_t size)
{
    return size >= 4 && ((h[0] == 'I' && h[1] == 'I' && (h[2] == 42 || h[2] == 43) && h[3] == 0) ||
                         (h[0] == 'M' && h[1] == 'M' && h[2] == 0 && (h[3] == 42 || h[3] == 43)));
}

// The most any picture libtiff reads can need in one buffer: a strip or tile of the largest picture the
// data may describe, at up to 16 bytes a pixel. libtiff sizes its buffers from fields the strip's
// data never has to fill: 256 samples a pixel asked for 1.1 GB for one LZW strip of 5,639 x 775 in 192 bytes.
tmsize_t LargestBuffer(std::size_t dataBytes)
{
    return tmsize_t(std::min<uint64_t>(16 * MaxPixels(dataBytes), uint64_t(1) << 40));
}

struct Tiff {
    explicit Tiff(Reader& reader)
    {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
        TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
        if (!options)
            return;
        TIFFOpenOptionsSetMaxSingleMemAlloc(options, LargestBuffer(reader.size));
        tif = TIFFClientOpenExt("memory", "rm", &reader, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc,
                                nullptr, nullptr, options);
        TIFFOpenOptionsFree(options);
    }
    ~Tiff()
    {
        if (tif)
            TIFFClose(tif);
    }
    TIFF* tif = nullptr;
};

int PictureSizeOf(const uint8_t* data, std::size_t size, PictureSize& out)
{
    Reader reader{data, size, 0};
    Tiff t(reader);
    uint32_t width = 0, height = 0;
    uint16_t samples = 1, bits = 1;
    if (!t.tif || !TIFFGetField(t.tif, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(t.tif, TIFFTAG_IMAGELENGTH, &height))
        return SPI_OUT_OF_ORDER;
    TIFFGetFieldDefaulted(t.tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(t.tif, TIFFTAG_BITSPERSAMPLE, &bits);
    out.width = int(width);
    out.height = int(height);
    out.depth = samples * bits;
    return SPI_ALL_RIGHT;
}

// Where each stored pixel goes to show upright, for the Orientation tag's eight values (others count as
// top-left): mirrored along either axis, rows and columns exchanged for values 5 to 8.
class Upright {
public:
    Upright(int orientation, int width, int height, int bytes)
        : turn_(orientation >= ORIENTATION_TOPLEFT && orientation <= ORIENTATION_LEFTBOT ? orientation : 1),
          width_(width), height_(height), bytes_(std::size_t(bytes))
    {
    }
    bool Create(DibWriter& dib) const
    {
        return Transposed() ? dib.Create(height_, width_, int(bytes_) * 8) : dib.Create(width_, height_, int(bytes_) * 8);
    }
    uint8_t* At(DibWriter& dib, int x, int y) const
    {
        x = turn_ == 2 || turn_ == 3 || turn_ == 7 || turn_ == 8 ? width_ - 1 - x : x;
        y = turn_ == 3 || turn_ == 4 || turn_ == 6 || turn_ == 7 ? height_ - 1 - y : y;
        return Transposed() ? dib.Row(x) + std::size_t(y) * bytes_ : dib.Row(y) + std::size_t(x) * bytes_;
    }

private:
    bool Transposed() const { return turn_ >= ORIENTATION_LEFTTOP; }
    int turn_;
    int width_;
    int height_;
    std::size_t bytes_;
};

// Strips or tiles as they lie in the file: uncompressed pixels must be there byte for byte, and any
// compression may stand for no more pixels than the data can fill. A compression libtiff cannot decode
// would come out as a blank picture.
bool DataCanFillPicture(TIFF* tif, std::size_t fileSize)
{
    uint32_t width = 0, height = 0;
    uint16_t compression = COMPRESSION_NONE;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height))
        return false;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (!TIFFIsCODECConfigured(compression))
        return false;
    const uint32_t striles = TIFFIsTiled(tif) ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    uint64_t present = 0;
    for (uint32_t i = 0; i < striles; ++i) {
        const uint64_t offset = TIFFGetStrileOffset(tif, i);
        const uint64_t count = TIFFGetStrileByteCount(tif, i);
        if (offset < fileSize)
            present += std::min<uint64_t>(count, fileSize - offset);
    }
    if (compression == COMPRESSION_NONE) {
        uint16_t planar = PLANARCONFIG_CONTIG, samples = 1;
        TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
        const uint64_t planes = planar == PLANARCONFIG_SEPARATE ? samples : 1;
        const uint64_t needed = TIFFIsTiled(tif) ? TIFFTileSize64(tif) * TIFFNumberOfTiles(tif)
                                                 : TIFFScanlineSize64(tif) * height * planes;
        if (needed == 0 || present < needed)
            return false;
    }
    return DataCanFill(width, height, std::size_t(present));
}

// Plain 8-bit RGB(A) strips are read row by row as they are: the RGBA interface would premultiply
// unassociated alpha and lose colour.
int DecodeScanlines(TIFF* tif, DibWriter& dib, Progress& progress, int channels, int orientation)
{
    uint32_t width = 0, height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    if (width == 0 || height == 0 || width > 65535 || height > 65535)
        return SPI_OUT_OF_ORDER;
    if (TIFFScanlineSize64(tif) != uint64_t(width) * uint64_t(channels))
        return SPI_OUT_OF_ORDER;
    const Upright upright(orientation, int(width), int(height), channels);
    if (!upright.Create(dib))
        return SPI_NO_MEMORY;
    std::vector<uint8_t> line(std::size_t(width) * std::size_t(channels));
    progress.Report(0, int(height));
    for (uint32_t y = 0; y < height; ++y) {
        if (TIFFReadScanline(tif, line.data(), y, 0) < 0)
            return SPI_OUT_OF_ORDER;
        for (uint32_t x = 0; x < width; ++x) {
            uint8_t* out = upright.At(dib, int(x), int(y));
            const uint8_t* in = line.data() + std::size_t(x) * std::size_t(channels);
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
            if (channels == 4)
                out[3] = in[3];
        }
        if ((y & 63) == 63 && !progress.Report(int(y + 1), int(height)))
            return SPI_ABORT;
    }
    progress.Report(int(height), int(height));
    return SPI_ALL_RIGHT;
}

int Decode(const uint8_t* data, std::size_t size, DibWriter& dib, Progress& progress)
{
    Reader reader{data, size, 0};
    Tiff t(reader);
    if (!t.tif || !DataCanFillPicture(t.tif, size))
        return SPI_OUT_OF_ORDER;
    uint16_t photometric = 0, planar = PLANARCONFIG_CONTIG, bits = 1, samples = 1, extraCount = 0;
    uint16_t* extra = nullptr;
    TIFFGetField(t.tif, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(t.tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(t.tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t.tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(t.tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(t.tif, TIFFTAG_ORIENTATION, &orientation);
    const bool unassociated = samples == 4 && extraCount == 1 && extra[0] == EXTRASAMPLE_UNASSALPHA;
    if (photometric == PHOTOMETRIC_RGB && planar == PLANARCONFIG_CONTIG && bits == 8 && !TIFFIsTiled(t.tif) &&
        (samples == 3 || unassociated))
        return DecodeScanlines(t.tif, dib, progress, samples, orientation);
    char message[1024];
    if (!TIFFRGBAImageOK(t.tif, message))
        return SPI_OUT_OF_ORDER;
    TIFFRGBAImage image;
    if (!TIFFRGBAImageBegin(&image, t.tif, 0, message))
        return SPI_OUT_OF_ORDER;
    struct End {
        TIFFRGBAImage* image;
        ~End() { TIFFRGBAImageEnd(image); }
    } end{&image};
    const int width = int(image.width), height = int(image.height);
    const bool alpha = image.alpha != 0;
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535)
        return SPI_OUT_OF_ORDER;
    // libtiff flips rows only within each band it is asked for, so it is asked for none: the bands
    // come as stored, and each pixel is put upright here, whatever the orientation and the height.
    image.req_orientation = image.orientation;
    const Upright upright(orientation, width, height, alpha ? 4 : 3);
    if (!upright.Create(dib))
        return SPI_NO_MEMORY;
    // Bands of whole strips or tiles: a band that ends inside one would have it decoded again for the next
    // band, and a picture stored as one strip would be decoded once for every 64 rows.
    uint32_t stored = 0;
    if (TIFFIsTiled(t.tif) ? !TIFFGetField(t.tif, TIFFTAG_TILELENGTH, &stored)
                           : !TIFFGetFieldDefaulted(t.tif, TIFFTAG_ROWSPERSTRIP, &stored))
        stored = 0;
    const int kBand = int(std::min<uint32_t>(std::max<uint32_t>(stored, 64), uint32_t(height)));
    std::vector<uint32_t> band(std::size_t(width) * std::size_t(kBand));
    progress.Report(0, height);
    for (int top = 0; top < height; top += kBand) {
        const int rows = std::min(kBand, height - top);
        image.row_offset = top;
        image.col_offset = 0;
        if (!TIFFRGBAImageGet(&image, band.data(), uint32_t(width), uint32_t(rows)))
            return SPI_OUT_OF_ORDER;
        for (int r = 0; r < rows; ++r) {
            const uint32_t* in = band.data() + std::size_t(r) * std::size_t(width);
            for (int x = 0; x < width; ++x) {
                uint8_t* out = upright.At(dib, x, top + r);
                uint32_t red = TIFFGetR(in[x]), green = TIFFGetG(in[x]), blue = TIFFGetB(in[x]);
                const uint32_t a = TIFFGetA(in[x]);
                // The RGBA interface premultiplies every alpha; the host takes straight alpha.
                if (alpha && a != 255) {
                    red = a ? std::min<uint32_t>(255, (red * 255 + a / 2) / a) : 0;
                    green = a ? std::min<uint32_t>(255, (green * 255 + a / 2) / a) : 0;
                    blue = a ? std::min<uint32_t>(255, (blue * 255 + a / 2) / a) : 0;
                }
                out[0] = uint8_t(blue);
                out[1] = uint8_t(green);
                out[2] = uint8_t(red);
                if (alpha)
                    out[3] = uint8_t(a);
            }
        }
        if (!progress.Report(top + rows, height))
            return SPI_ABORT;
    }
    return SPI_ALL_RIGHT;
}

}  // namespace

const PluginFormat kPluginFormat = {kInfo, 4, IsTiff, PictureSizeOf, Decode};

// GIF through giflib: the first frame composed on its canvas; 8-bit with its colour table when opaque.
#include "../common/PluginKit.h"

#include <cstring>
#include <gif_lib.h>
#include <vector>

using namespace tovari::plugin;

namespace {

const char* const kInfo[] = {"00IN", "tovari GIF plug-in 1.0 (giflib)", "*.gif", "GIF 画像"};

struct Reader {
    const uint8_t* data;
    std::size_t size;
    std::size_t position;
};

int ReadData(GifFileType* gif, GifByteType* out, int count)
{
    auto* reader = static_cast<Reader*>(gif->UserData);
    const std::size_t n = std::min(std::size_t(count), reader->size - reader->position);
    std::memcpy(out, reader->data + reader->position, n);
    reader->position += n;
    return int(n);
}

bool IsGif(const uint8_t* header, std::size_t size)
{
    return size >= 6 && (std::memcmp(header, "GIF87a", 6) == 0 || std::memcmp(header, "GIF89a", 6) == 0);
}

int PictureSizeOf(const uint8_t* data, std::size_t size, PictureSize& out)
{
    if (size < 13)
        return SPI_OUT_OF_ORDER;
    out.width = data[6] | data[7] << 8;
    out.height = data[8] | data[9] << 8;
    out.depth = 8;
    return SPI_ALL_RIGHT;
}

struct GifCloser {
    GifFileType* gif;
    ~GifCloser()
    {
        int error = 0;
        if (gif)
            DGifCloseFile(gif, &error);
    }
};

// A byte of LZW data stands for at most 4,096 pixels (one 12-bit code for at most 4,096); a canvas or
// a frame beyond what the file's data can fill, above a small floor, costs memory for nothing.
constexpr int64_t kFreeGifPixels = int64_t(1) << 20;
constexpr int64_t kGifPixelsPerByte = 4096;

// Also within the rule every plug-in's pixel block keeps, so that a canvas the block would refuse gives
// way to the frame's own rectangle rather than failing the picture.
bool GifCanFill(int64_t width, int64_t height, std::size_t size)
{
    return width * height <= kFreeGifPixels + int64_t(size) * kGifPixelsPerByte &&
           DataCanFill(uint64_t(width), uint64_t(height), size);
}

// The first frame composed on its canvas as a browser shows it before playing: the logical screen,
// enlarged where the frame reaches past it, transparent where the frame does not cover it or shows
// its transparent colour. Opaque pictures stay 8-bit with their colour table.
int DecodeFrame(GifFileType* gif, int transparent, std::size_t size, DibWriter& dib, Progress& progress)
{
    if (DGifGetImageDesc(gif) == GIF_ERROR)
        return SPI_OUT_OF_ORDER;
    const GifImageDesc& frame = gif->Image;
    if (frame.Width <= 0 || frame.Height <= 0 || frame.Width > 65535 || frame.Height > 65535 ||
        !GifCanFill(frame.Width, frame.Height, size))
        return SPI_OUT_OF_ORDER;
    int width = std::max(gif->SWidth, frame.Left + frame.Width);
    int height = std::max(gif->SHeight, frame.Top + frame.Height);
    int left = frame.Left, top = frame.Top;
    if (width > 65535 || height > 65535 || !GifCanFill(width, height, size)) {
        width = frame.Width;
        height = frame.Height;
        left = top = 0;
    }
    const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    const int colours = map ? map->ColorCount : 256;
    if (transparent >= colours)
        transparent = -1;
    const bool covered = left == 0 && top == 0 && width == frame.Width && height == frame.Height;
    const bool alpha = transparent >= 0 || !covered;
    if (!dib.Create(width, height, alpha ? 32 : 8, alpha ? 0 : colours))
        return SPI_NO_MEMORY;
    uint32_t bgra[256];
    for (int i = 0; i < 256; ++i) {
        const GifColorType c = map && i < colours ? map->Colors[i] : GifColorType{uint8_t(i), uint8_t(i), uint8_t(i)};
        bgra[i] = i == transparent ? 0 : 0xFF000000u | uint32_t(c.Red) << 16 | uint32_t(c.Green) << 8 | c.Blue;
        if (!alpha && i < colours)
            dib.SetColour(i, c.Red, c.Green, c.Blue);
    }
    if (alpha)
        std::memset(dib.Pixels(), 0, dib.RowBytes() * std::size_t(height));

    std::vector<GifPixelType> line(std::size_t(frame.Width));
    std::vector<int> order;
    if (frame.Interlace) {
        const int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = starts[pass]; y < frame.Height; y += steps[pass])
                order.push_back(y);
    } else {
        for (int y = 0; y < frame.Height; ++y)
            order.push_back(y);
    }
    progress.Report(0, frame.Height);
    const int columns = std::min(frame.Width, width - left);
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR)
            return SPI_OUT_OF_ORDER;
        const int y = top + order[i];
        if (y < height) {
            if (alpha) {
                auto* out = reinterpret_cast<uint32_t*>(dib.Row(y)) + left;
                for (int x = 0; x < columns; ++x)
                    out[x] = bgra[line[std::size_t(x)]];
            } else {
                std::memcpy(dib.Row(y) + left, line.data(), std::size_t(columns));
            }
        }
        if ((i & 63) == 63 && !progress.Report(int(i + 1), frame.Height))
            return SPI_ABORT;
    }
    progress.Report(frame.Height, frame.Height);
    return SPI_ALL_RIGHT;
}

int Decode(const uint8_t* data, std::size_t size, DibWriter& dib, Progress& progress)
{
    Reader reader{data, size, 0};
    int error = 0;
    GifCloser closer{DGifOpen(&reader, ReadData, &error)};
    GifFileType* gif = closer.gif;
    if (!gif)
        return SPI_OUT_OF_ORDER;
    int transparent = -1;  // from the graphic control block before the first frame
    for (;;) {
        GifRecordType record;
        if (DGifGetRecordType(gif, &record) == GIF_ERROR)
            return SPI_OUT_OF_ORDER;
        if (record == IMAGE_DESC_RECORD_TYPE)
            return DecodeFrame(gif, transparent, size, dib, progress);
        if (record == TERMINATE_RECORD_TYPE)
            return SPI_OUT_OF_ORDER;
        if (record == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR)
                return SPI_OUT_OF_ORDER;
            if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4)
                transparent = (block[1] & 1) ? block[4] : -1;
            while (block)
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR)
                    return SPI_OUT_OF_ORDER;
        }
    }
}

}  // namespace

const PluginFormat kPluginFormat = {kInfo, 4, IsGif, PictureSizeOf, Decode};

// GIF through giflib: the first frame on the logical screen, 8-bit with its colour table.
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

int DecodeFrame(GifFileType* gif, DibWriter& dib, Progress& progress)
{
    if (DGifGetImageDesc(gif) == GIF_ERROR)
        return SPI_OUT_OF_ORDER;
    const GifImageDesc& frame = gif->Image;
    int width = gif->SWidth, height = gif->SHeight;
    if (width <= 0 || height <= 0) {
        width = frame.Left + frame.Width;
        height = frame.Top + frame.Height;
    }
    if (frame.Width <= 0 || frame.Height <= 0 || frame.Width > 65535 || frame.Height > 65535)
        return SPI_OUT_OF_ORDER;
    const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    const int colours = map ? map->ColorCount : 256;
    if (!dib.Create(width, height, 8, colours))
        return SPI_NO_MEMORY;
    for (int i = 0; i < colours; ++i) {
        if (map)
            dib.SetColour(i, map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue);
        else
            dib.SetColour(i, uint8_t(i), uint8_t(i), uint8_t(i));
    }
    const uint8_t background = gif->SColorMap && gif->SBackGroundColor < colours ? uint8_t(gif->SBackGroundColor) : 0;
    for (int y = 0; y < height; ++y)
        std::memset(dib.Row(y), background, std::size_t(width));

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
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR)
            return SPI_OUT_OF_ORDER;
        const int y = frame.Top + order[i];
        if (y >= 0 && y < height)
            for (int x = 0; x < frame.Width; ++x)
                if (frame.Left + x < width)
                    dib.Row(y)[frame.Left + x] = line[std::size_t(x)];
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
    for (;;) {
        GifRecordType record;
        if (DGifGetRecordType(gif, &record) == GIF_ERROR)
            return SPI_OUT_OF_ORDER;
        if (record == IMAGE_DESC_RECORD_TYPE)
            return DecodeFrame(gif, dib, progress);
        if (record == TERMINATE_RECORD_TYPE)
            return SPI_OUT_OF_ORDER;
        if (record == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR)
                return SPI_OUT_OF_ORDER;
            while (block)
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR)
                    return SPI_OUT_OF_ORDER;
        }
    }
}

}  // namespace

const PluginFormat kPluginFormat = {kInfo, 4, IsGif, PictureSizeOf, Decode};

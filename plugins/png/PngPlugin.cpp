// PNG through libpng. Paletted pictures without transparency stay 8-bit with their colour table.
#include "../common/PluginKit.h"

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <png.h>

using namespace tovari::plugin;

namespace {

const char* const kInfo[] = {"00IN", "tovari PNG plug-in 1.0 (libpng " PNG_LIBPNG_VER_STRING ")", "*.png",
                             "PNG 画像"};

struct Reader {
    const uint8_t* data;
    std::size_t size;
    std::size_t position;
};

void ReadData(png_structp png, png_bytep out, png_size_t count)
{
    auto* reader = static_cast<Reader*>(png_get_io_ptr(png));
    if (count > reader->size - reader->position)
        png_error(png, "the file ends early");
    std::memcpy(out, reader->data + reader->position, count);
    reader->position += count;
}

void OnError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// libpng takes a chunk's buffer at the length the chunk declares, and clears it, before reading a byte of
// it: no single buffer may be larger than the data could fill (a row of the widest picture always fits).
png_voidp Allocate(png_structp png, png_alloc_size_t bytes)
{
    const auto* reader = static_cast<const Reader*>(png_get_mem_ptr(png));
    if (bytes > std::max<std::size_t>(std::size_t(1) << 20, reader->size))
        return nullptr;
    return std::malloc(bytes);
}

void Free(png_structp, png_voidp block)
{
    std::free(block);
}

bool IsPng(const uint8_t* header, std::size_t size)
{
    return size >= 8 && png_sig_cmp(header, 0, 8) == 0;
}

uint32_t BigEndian32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

int PictureSizeOf(const uint8_t* data, std::size_t size, PictureSize& out)
{
    if (size < 29 || std::memcmp(data + 12, "IHDR", 4) != 0)
        return SPI_OUT_OF_ORDER;
    out.width = int(BigEndian32(data + 16));
    out.height = int(BigEndian32(data + 20));
    const int channels[] = {1, 0, 3, 1, 2, 0, 4};
    const int type = data[25];
    out.depth = data[24] * (type < 7 ? channels[type] : 0);
    return SPI_ALL_RIGHT;
}

int Decode(const uint8_t* data, std::size_t size, DibWriter& dib, Progress& progress)
{
    Reader reader{data, size, 0};
    png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning, &reader, Allocate, Free);
    if (!png)
        return SPI_NO_MEMORY;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return SPI_NO_MEMORY;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return SPI_OUT_OF_ORDER;
    }
    png_set_read_fn(png, &reader, ReadData);
    png_set_user_limits(png, 65535, 65535);
    png_read_info(png, info);
    // Deflate turns a byte into at most 1,032: rows the file's bytes cannot hold are refused before any is read.
    const uint64_t rawBytes = (uint64_t(png_get_rowbytes(png, info)) + 1) * png_get_image_height(png, info);
    if (rawBytes > 1032 * uint64_t(size) ||
        !DataCanFill(png_get_image_width(png, info), png_get_image_height(png, info), size))
        png_error(png, "more pixels than the data can hold");
    const int type = png_get_color_type(png, info);
    const int depth = png_get_bit_depth(png, info);
    const bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    const bool indexed = type == PNG_COLOR_TYPE_PALETTE && !transparency;
    if (depth == 16)
        png_set_strip_16(png);
    if (indexed) {
        if (depth < 8)
            png_set_packing(png);
    } else {
        png_set_expand(png);
        if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA)
            png_set_gray_to_rgb(png);
        png_set_bgr(png);
        // Four bytes a pixel even without alpha: the host takes such rows as they are, without a copy.
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    }
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const int width = int(png_get_image_width(png, info));
    const int height = int(png_get_image_height(png, info));
    const int channels = png_get_channels(png, info);
    const int bits = indexed ? 8 : channels * 8;
    if (bits != 8 && bits != 24 && bits != 32)
        png_error(png, "unexpected pixel layout");
    png_colorp palette = nullptr;
    int colours = 0;
    if (indexed)
        png_get_PLTE(png, info, &palette, &colours);
    if (!dib.Create(width, height, bits, colours)) {
        png_destroy_read_struct(&png, &info, nullptr);
        return SPI_NO_MEMORY;
    }
    for (int i = 0; i < colours; ++i)
        dib.SetColour(i, palette[i].red, palette[i].green, palette[i].blue);
    const int total = passes * height;
    progress.Report(0, total);
    for (int pass = 0; pass < passes && !progress.Stopped(); ++pass)
        for (int y = 0; y < height; ++y) {
            png_read_row(png, dib.Row(y), nullptr);
            if ((y & 63) == 63 && !progress.Report(pass * height + y + 1, total))
                break;
        }
    if (!progress.Stopped())
        progress.Report(total, total);
    png_destroy_read_struct(&png, &info, nullptr);
    return progress.Stopped() ? SPI_ABORT : SPI_ALL_RIGHT;
}

}  // namespace

const PluginFormat kPluginFormat = {kInfo, 4, IsPng, PictureSizeOf, Decode};

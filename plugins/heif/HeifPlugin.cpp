// HEIC and AVIF through libheif: the primary picture, rotated as the file says. One source, two plug-ins;
// TOVARI_HEIF_AVIF picks which brands this one claims.
#include "../common/PluginKit.h"

#include <cstring>
#include <libheif/heif.h>

using namespace tovari::plugin;

namespace {

#ifdef TOVARI_HEIF_AVIF
const char* const kInfo[] = {"00IN", "tovari AVIF plug-in 1.0 (libheif " LIBHEIF_VERSION ")", "*.avif", "AVIF 画像"};
const char* const kBrands[] = {"avif", "avis"};
#else
const char* const kInfo[] = {"00IN", "tovari HEIC plug-in 1.0 (libheif " LIBHEIF_VERSION ")", "*.heic;*.heif",
                             "HEIC 画像"};
const char* const kBrands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx"};
#endif

bool IsOurBrand(const uint8_t* brand)
{
    for (const char* b : kBrands)
        if (std::memcmp(brand, b, 4) == 0)
            return true;
    return false;
}

// The file-type box lists the major brand and the compatible ones; any of ours will do.
bool IsOurs(const uint8_t* h, std::size_t size)
{
    if (size < 16 || std::memcmp(h + 4, "ftyp", 4) != 0)
        return false;
    const std::size_t box = std::min<std::size_t>(size, uint32_t(h[0]) << 24 | h[1] << 16 | h[2] << 8 | h[3]);
    if (IsOurBrand(h + 8))
        return true;
    for (std::size_t at = 16; at + 4 <= box; at += 4)
        if (IsOurBrand(h + at))
            return true;
    return false;
}

struct Heif {
    heif_context* context = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    heif_decoding_options* options = nullptr;
    ~Heif()
    {
        heif_decoding_options_free(options);
        heif_image_release(image);
        heif_image_handle_release(handle);
        heif_context_free(context);
    }
    bool Open(const uint8_t* data, std::size_t size)
    {
        if (!context)
            return false;
        // The library holds every picture it makes, a grid's tiles and the grid itself among them, to its
        // limit of width x width pixels: at most what the data can fill, so that no declared size of a part
        // of the file makes it take more.
        uint64_t side = 1;
        while (side < 65535 && (side + 1) * (side + 1) <= MaxPixels(size))
            ++side;
        heif_context_set_maximum_image_size_limit(context, int(side));
        return heif_context_read_from_memory_without_copy(context, data, size, nullptr).code == heif_error_Ok &&
               heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok;
    }
};

int PictureSizeOf(const uint8_t* data, std::size_t size, PictureSize& out)
{
    Heif heif;
    if (!heif.Open(data, size))
        return SPI_OUT_OF_ORDER;
    out.width = heif_image_handle_get_width(heif.handle);
    out.height = heif_image_handle_get_height(heif.handle);
    out.depth = heif_image_handle_has_alpha_channel(heif.handle) ? 32 : 24;
    return SPI_ALL_RIGHT;
}

int Decode(const uint8_t* data, std::size_t size, DibWriter& dib, Progress& progress)
{
    Heif heif;
    if (!heif.Open(data, size))
        return SPI_OUT_OF_ORDER;
    // The decoder takes its own memory for the whole picture: the declared size is checked first.
    const int declaredWidth = heif_image_handle_get_width(heif.handle);
    const int declaredHeight = heif_image_handle_get_height(heif.handle);
    if (declaredWidth <= 0 || declaredHeight <= 0 ||
        !DataCanFill(uint64_t(declaredWidth), uint64_t(declaredHeight), size))
        return SPI_OUT_OF_ORDER;
    const bool alpha = heif_image_handle_has_alpha_channel(heif.handle) != 0;
    // libheif may report from its worker threads, so progress is reported here, on the caller's thread.
    if (!progress.Report(0, 100))
        return SPI_ABORT;
    heif.options = heif_decoding_options_alloc();
    heif.options->convert_hdr_to_8bit = 1;
    if (heif_decode_image(heif.handle, &heif.image, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, heif.options)
            .code != heif_error_Ok)
        return SPI_OUT_OF_ORDER;
    if (!progress.Report(50, 100))
        return SPI_ABORT;
    const int width = heif_image_get_width(heif.image, heif_channel_interleaved);
    const int height = heif_image_get_height(heif.image, heif_channel_interleaved);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(heif.image, heif_channel_interleaved, &stride);
    if (!plane || width <= 0 || height <= 0)
        return SPI_OUT_OF_ORDER;
    // Four bytes a pixel even without alpha: the host takes such rows as they are, without a copy.
    if (!dib.Create(width, height, 32))
        return SPI_NO_MEMORY;
    const int channels = alpha ? 4 : 3;
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = plane + std::size_t(y) * std::size_t(stride);
        uint8_t* out = dib.Row(y);
        for (int x = 0; x < width; ++x, in += channels, out += 4) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
            out[3] = alpha ? in[3] : 0xFF;
        }
        if ((y & 127) == 127 && !progress.Report(50 + int(50LL * (y + 1) / height), 100))
            return SPI_ABORT;
    }
    progress.Report(100, 100);
    return SPI_ALL_RIGHT;
}

}  // namespace

const PluginFormat kPluginFormat = {kInfo, 4, IsOurs, PictureSizeOf, Decode};

// WebP through libwebp's incremental decoder, fed in pieces so that progress and stop requests come through;
// an animation shows its first frame, composed on its canvas by libwebp's animation decoder.
#include "../common/PluginKit.h"

#include <cstring>
#include <webp/decode.h>
#include <webp/demux.h>

using namespace tovari::plugin;

namespace {

const char* const kInfo[] = {"00IN", "tovari WebP plug-in 1.0 (libwebp)", "*.webp", "WebP 画像"};

bool IsWebp(const uint8_t* h, std::size_t size)
{
    return size >= 12 && std::memcmp(h, "RIFF", 4) == 0 && std::memcmp(h + 8, "WEBP", 4) == 0;
}

int PictureSizeOf(const uint8_t* data, std::size_t size, PictureSize& out)
{
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(data, size, &features) != VP8_STATUS_OK)
        return SPI_OUT_OF_ORDER;
    out.width = features.width;
    out.height = features.height;
    out.depth = features.has_alpha ? 32 : 24;
    return SPI_ALL_RIGHT;
}

// The first frame as a browser shows it before playing: on the canvas, transparent where it does not cover it.
int DecodeFirstFrame(const uint8_t* data, std::size_t size, DibWriter& dib, Progress& progress)
{
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        return SPI_OTHER_ERROR;
    options.color_mode = MODE_BGRA;
    options.use_threads = 0;
    const WebPData webp{data, size};
    struct Decoder {
        WebPAnimDecoder* d;
        ~Decoder() { WebPAnimDecoderDelete(d); }
    } decoder{WebPAnimDecoderNew(&webp, &options)};
    WebPAnimInfo info;
    if (!decoder.d || !WebPAnimDecoderGetInfo(decoder.d, &info))
        return SPI_OUT_OF_ORDER;
    if (!progress.Report(0, 2))
        return SPI_ABORT;
    uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder.d, &canvas, &timestamp) || !canvas)
        return SPI_OUT_OF_ORDER;
    if (!dib.Create(int(info.canvas_width), int(info.canvas_height), 32))
        return SPI_NO_MEMORY;
    const std::size_t rowBytes = std::size_t(info.canvas_width) * 4;
    for (int y = 0; y < dib.Height(); ++y)
        std::memcpy(dib.Row(y), canvas + std::size_t(y) * rowBytes, rowBytes);
    progress.Report(2, 2);
    return SPI_ALL_RIGHT;
}

int Decode(const uint8_t* data, std::size_t size, DibWriter& dib, Progress& progress)
{
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config) || WebPGetFeatures(data, size, &config.input) != VP8_STATUS_OK)
        return SPI_OUT_OF_ORDER;
    if (!DataCanFill(uint64_t(config.input.width), uint64_t(config.input.height), size))
        return SPI_OUT_OF_ORDER;
    if (config.input.has_animation)
        return DecodeFirstFrame(data, size, dib, progress);
    // Four bytes a pixel even without alpha: the host takes such rows as they are, without a copy.
    if (!dib.Create(config.input.width, config.input.height, 32))
        return SPI_NO_MEMORY;
    // The decoder writes bottom-up straight into the host's block.
    config.options.flip = 1;
    config.output.colorspace = MODE_BGRA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = dib.Pixels();
    config.output.u.RGBA.stride = int(dib.RowBytes());
    config.output.u.RGBA.size = dib.RowBytes() * std::size_t(dib.Height());
    WebPIDecoder* decoder = WebPIDecode(nullptr, 0, &config);
    if (!decoder)
        return SPI_NO_MEMORY;
    constexpr std::size_t kPiece = 256 * 1024;
    const int total = int(std::min<std::size_t>(size, 0x7fffffff));
    int result = SPI_OUT_OF_ORDER;
    progress.Report(0, total);
    for (std::size_t at = 0; at < size;) {
        const std::size_t n = std::min(kPiece, size - at);
        const VP8StatusCode status = WebPIAppend(decoder, data + at, n);
        at += n;
        if (status == VP8_STATUS_OK) {
            result = SPI_ALL_RIGHT;
            break;
        }
        if (status != VP8_STATUS_SUSPENDED)
            break;
        if (!progress.Report(int(std::min<std::size_t>(at, 0x7fffffff)), total)) {
            result = SPI_ABORT;
            break;
        }
    }
    WebPIDelete(decoder);
    WebPFreeDecBuffer(&config.output);
    if (result == SPI_ALL_RIGHT)
        progress.Report(total, total);
    return result;
}

}  // namespace

const PluginFormat kPluginFormat = {kInfo, 4, IsWebp, PictureSizeOf, Decode};

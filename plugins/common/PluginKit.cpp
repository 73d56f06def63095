#include "PluginKit.h"

#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tovari::plugin {

uint64_t MaxPixels(std::size_t dataBytes)
{
    constexpr uint64_t kFreePixels = uint64_t(4) << 20;
    constexpr uint64_t kPixelsPerByte = 1024;
    return kFreePixels + kPixelsPerByte * uint64_t(dataBytes);
}

bool DataCanFill(uint64_t width, uint64_t height, std::size_t dataBytes)
{
    return width <= 65535 && height <= 65535 && width * height <= MaxPixels(dataBytes);
}

DibWriter::~DibWriter()
{
    LocalFree(info_);
    LocalFree(bits_);
}

bool DibWriter::Create(int width, int height, int bits, int colours)
{
    if (width <= 0 || height <= 0 || !DataCanFill(uint64_t(width), uint64_t(height), dataBytes_))
        return false;
    width_ = width;
    height_ = height;
    rowBytes_ = ((std::size_t(width) * std::size_t(bits) + 31) / 32) * 4;
    info_ = LocalAlloc(LMEM_ZEROINIT, sizeof(SpiBitmapInfoHeader) + 4 * std::size_t(colours));
    bits_ = LocalAlloc(LMEM_FIXED, rowBytes_ * std::size_t(height));
    if (!info_ || !bits_)
        return false;
    auto* header = static_cast<SpiBitmapInfoHeader*>(LocalLock(info_));
    header->biSize = sizeof(SpiBitmapInfoHeader);
    header->biWidth = width;
    header->biHeight = height;
    header->biPlanes = 1;
    header->biBitCount = uint16_t(bits);
    header->biSizeImage = uint32_t(rowBytes_ * std::size_t(height));
    header->biClrUsed = uint32_t(colours);
    colours_ = reinterpret_cast<uint8_t*>(header + 1);
    pixels_ = static_cast<uint8_t*>(LocalLock(bits_));
    bitsPerPixel_ = bits;
    return pixels_ != nullptr;
}

void DibWriter::SetColour(int index, uint8_t red, uint8_t green, uint8_t blue)
{
    uint8_t* entry = colours_ + 4 * index;
    entry[0] = blue;
    entry[1] = green;
    entry[2] = red;
    entry[3] = 0;
}

void DibWriter::Release(HLOCAL* info, HLOCAL* bits)
{
    // Padding bytes at row ends are part of what the host copies; keep them defined. Done only now, when
    // every row has been written, so that a picture refused half-way never touched the whole block.
    const std::size_t used = std::size_t(width_) * std::size_t(bitsPerPixel_) / 8;
    if (pixels_ && used < rowBytes_)
        for (int y = 0; y < height_; ++y)
            std::memset(pixels_ + std::size_t(y) * rowBytes_ + used, 0, rowBytes_ - used);
    LocalUnlock(info_);
    LocalUnlock(bits_);
    *info = info_;
    *bits = bits_;
    info_ = bits_ = nullptr;
}

namespace {

// The picture's bytes: a file mapped from an offset on, or the caller's memory in place. A mapped file is
// read only where a parser looks, so asking for a picture's size reads its header and nothing more.
struct Source {
    Source() = default;
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;
    ~Source()
    {
        if (map != MAP_FAILED)
            munmap(map, mapped);
    }
    void* map = MAP_FAILED;
    std::size_t mapped = 0;
    const uint8_t* data = nullptr;
    std::size_t size = 0;
};

int ReadSource(const char* buf, intptr_t len, unsigned int flag, Source& source)
{
    if (!buf || len < 0)
        return SPI_OUT_OF_ORDER;
    if ((flag & 7) == SPI_SOURCE_MEMORY) {
        source.data = reinterpret_cast<const uint8_t*>(buf);
        source.size = std::size_t(len);
        return SPI_ALL_RIGHT;
    }
    if ((flag & 7) != SPI_SOURCE_FILE)
        return SPI_NOT_SUPPORT;
    // Never blocks on a pipe or device given as a file: non-blocking open, regular files only.
    const int fd = open(buf, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return SPI_FILE_READ_ERROR;
    struct stat info {};
    int result = SPI_ALL_RIGHT;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || uint64_t(len) > uint64_t(info.st_size) ||
        uint64_t(info.st_size) > SIZE_MAX) {
        result = SPI_FILE_READ_ERROR;
    } else if (info.st_size > len) {
        source.mapped = std::size_t(info.st_size);
        source.map = mmap(nullptr, source.mapped, PROT_READ, MAP_PRIVATE, fd, 0);
        if (source.map == MAP_FAILED)
            result = SPI_FILE_READ_ERROR;
        else {
            source.data = static_cast<const uint8_t*>(source.map) + len;
            source.size = source.mapped - std::size_t(len);
        }
    }
    close(fd);
    return result;
}

}  // namespace

}  // namespace tovari::plugin

using namespace tovari::plugin;

extern "C" {

TOVARI_SPI_EXPORT int GetPluginInfo(int infoNumber, char* buffer, int bufferLength)
{
    if (infoNumber < 0 || infoNumber >= kPluginFormat.infoCount || !buffer || bufferLength <= 0)
        return 0;
    const char* text = kPluginFormat.info[infoNumber];
    const std::size_t length = std::min(std::strlen(text), std::size_t(bufferLength - 1));
    std::memcpy(buffer, text, length);
    buffer[length] = '\0';
    return int(length);
}

TOVARI_SPI_EXPORT int IsSupported(const char*, void* header)
{
    if (!header)
        return 0;
    return kPluginFormat.isSupported(static_cast<const uint8_t*>(header), SPI_HEADER_BYTES) ? 1 : 0;
}

namespace {

// The picture's bytes, when they are in this plug-in's format.
int ReadSupportedSource(const char* buf, intptr_t len, unsigned int flag, Source& source)
{
    const int result = ReadSource(buf, len, flag, source);
    if (result != SPI_ALL_RIGHT)
        return result;
    return kPluginFormat.isSupported(source.data, source.size) ? SPI_ALL_RIGHT : SPI_NOT_SUPPORT;
}

}  // namespace

TOVARI_SPI_EXPORT int GetPictureInfo(const char* buf, intptr_t len, unsigned int flag, SpiPictureInfo* info)
{
    if (!info)
        return SPI_OTHER_ERROR;
    try {
        Source source;
        int result = ReadSupportedSource(buf, len, flag, source);
        if (result != SPI_ALL_RIGHT)
            return result;
        PictureSize size;
        result = kPluginFormat.pictureSize(source.data, source.size, size);
        if (result != SPI_ALL_RIGHT)
            return result;
        std::memset(info, 0, sizeof *info);
        info->width = size.width;
        info->height = size.height;
        info->colorDepth = int16_t(size.depth);
        return SPI_ALL_RIGHT;
    } catch (const std::bad_alloc&) {
        return SPI_NO_MEMORY;
    } catch (...) {
        return SPI_OTHER_ERROR;
    }
}

TOVARI_SPI_EXPORT int GetPicture(const char* buf, intptr_t len, unsigned int flag, HLOCAL* bitmapInfo, HLOCAL* bits,
                                 SpiProgressCallback progressCallback, intptr_t userData)
{
    if (!bitmapInfo || !bits)
        return SPI_OTHER_ERROR;
    try {
        Source source;
        int result = ReadSupportedSource(buf, len, flag, source);
        if (result != SPI_ALL_RIGHT)
            return result;
        Progress progress(progressCallback, userData);
        DibWriter dib(source.size);
        result = kPluginFormat.decode(source.data, source.size, dib, progress);
        if (result == SPI_ALL_RIGHT && progress.Stopped())
            result = SPI_ABORT;
        if (result == SPI_ALL_RIGHT)
            dib.Release(bitmapInfo, bits);
        return result;
    } catch (const std::bad_alloc&) {
        return SPI_NO_MEMORY;
    } catch (...) {
        return SPI_OTHER_ERROR;
    }
}

}  // extern "C"

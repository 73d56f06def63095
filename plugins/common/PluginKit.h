#pragma once

// What every plug-in of this folder shares: the exported entry points, reading the source, and the
// bitmap that goes back to the host. A plug-in defines kPluginFormat and nothing else.

#include "tovari_spi.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace tovari::plugin {

// A file may not make a plug-in allocate memory its data cannot fill: a picture may have at most 4 Mi
// pixels plus 1,024 per byte of the picture's data (what the flattest compressed data can still describe).
// Checked before a library decodes and again before the pixel block is taken.
bool DataCanFill(uint64_t width, uint64_t height, std::size_t dataBytes);
uint64_t MaxPixels(std::size_t dataBytes);

// The picture that goes back to the host: a bottom-up DIB in two local-memory blocks. Freed unless released.
class DibWriter {
public:
    explicit DibWriter(std::size_t dataBytes = 0) : dataBytes_(dataBytes) {}
    ~DibWriter();
    DibWriter(const DibWriter&) = delete;
    DibWriter& operator=(const DibWriter&) = delete;

    // bits is 8, 24 or 32; colours is the size of the colour table (8 bits only). False when out of memory
    // or when the picture is larger than the data can fill. The pixel block is not touched here.
    bool Create(int width, int height, int bits, int colours = 0);
    void SetColour(int index, uint8_t red, uint8_t green, uint8_t blue);
    // Row y counted from the top of the picture.
    uint8_t* Row(int y) { return pixels_ + std::size_t(height_ - 1 - y) * rowBytes_; }
    uint8_t* Pixels() { return pixels_; }
    std::size_t RowBytes() const { return rowBytes_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    // Hands both blocks to the host, row padding zeroed.
    void Release(HLOCAL* info, HLOCAL* bits);

private:
    std::size_t dataBytes_;
    HLOCAL info_ = nullptr;
    HLOCAL bits_ = nullptr;
    uint8_t* colours_ = nullptr;
    uint8_t* pixels_ = nullptr;
    std::size_t rowBytes_ = 0;
    int width_ = 0;
    int height_ = 0;
    int bitsPerPixel_ = 0;
};

// The host's progress callback; Report answers false once the host has asked to stop.
class Progress {
public:
    Progress(SpiProgressCallback callback, intptr_t userData) : callback_(callback), userData_(userData) {}
    bool Report(int done, int total)
    {
        if (callback_ && callback_(done, total, userData_) != 0)
            stopped_ = true;
        return !stopped_;
    }
    bool Stopped() const { return stopped_; }

private:
    SpiProgressCallback callback_;
    intptr_t userData_;
    bool stopped_ = false;
};

struct PictureSize {
    int width = 0;
    int height = 0;
    int depth = 0;
};

struct PluginFormat {
    // "00IN", the plug-in's name, then pairs of patterns and descriptions.
    const char* const* info;
    int infoCount;
    // Given at least SPI_HEADER_BYTES of the file's start.
    bool (*isSupported)(const uint8_t* header, std::size_t size);
    // SPI_ALL_RIGHT and the size, or an error code.
    int (*pictureSize)(const uint8_t* data, std::size_t size, PictureSize& out);
    int (*decode)(const uint8_t* data, std::size_t size, DibWriter& dib, Progress& progress);
};

}  // namespace tovari::plugin

// Defined by each plug-in.
extern const tovari::plugin::PluginFormat kPluginFormat;

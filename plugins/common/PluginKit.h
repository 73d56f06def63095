#pragma once

// What every plug-in of this folder shares: the exported entry points, reading the source, and the
// bitmap that goes back to the host. A plug-in defines kPluginFormat and nothing else.

#include "tovari_spi.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace tovari::plugin {

// The picture that goes back to the host: a bottom-up DIB in two local-memory blocks. Freed unless released.
class DibWriter {
public:
    DibWriter() = default;
    ~DibWriter();
    DibWriter(const DibWriter&) = delete;
    DibWriter& operator=(const DibWriter&) = delete;

    // bits is 8, 24 or 32; colours is the size of the colour table (8 bits only). False when out of memory.
    bool Create(int width, int height, int bits, int colours = 0);
    void SetColour(int index, uint8_t red, uint8_t green, uint8_t blue);
    // Row y counted from the top of the picture.
    uint8_t* Row(int y) { return pixels_ + std::size_t(height_ - 1 - y) * rowBytes_; }
    uint8_t* Pixels() { return pixels_; }
    std::size_t RowBytes() const { return rowBytes_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void Release(HLOCAL* info, HLOCAL* bits);

private:
    HLOCAL info_ = nullptr;
    HLOCAL bits_ = nullptr;
    uint8_t* colours_ = nullptr;
    uint8_t* pixels_ = nullptr;
    std::size_t rowBytes_ = 0;
    int width_ = 0;
    int height_ = 0;
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

// One of our image plug-ins through its exported functions on a memory source, as the host calls it:
// the header test, the picture's size, then the picture with a progress callback. Every input also
// checks the memory rule on what the plug-in takes from the local-memory library, and that nothing it
// took outlives the call except the two blocks it hands back.
#include "plugins/common/PluginKit.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" {
int IsSupported(const char* fileName, void* header);
int GetPictureInfo(const char* buf, intptr_t len, unsigned int flag, SpiPictureInfo* info);
int GetPicture(const char* buf, intptr_t len, unsigned int flag, HLOCAL* bitmapInfo, HLOCAL* bits,
               SpiProgressCallback progress, intptr_t userData);
}

namespace {

[[noreturn]] void Fail(const char* what, std::size_t a, std::size_t b)
{
    std::fprintf(stderr, "fuzz_plugin: %s (%zu, %zu)\n", what, a, b);
    std::abort();
}

int KeepGoing(int, int, intptr_t)
{
    return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<char> header(SPI_HEADER_BYTES, 0);
    std::memcpy(header.data(), data, std::min<std::size_t>(size, header.size()));
    IsSupported("fuzz", header.data());

    const char* buf = reinterpret_cast<const char*>(data);
    std::size_t blocksBefore = 0;
    LocalStatistics(&blocksBefore, nullptr, nullptr);
    SpiPictureInfo info{};
    if (GetPictureInfo(buf, intptr_t(size), SPI_SOURCE_MEMORY, &info) == SPI_ALL_RIGHT)
        LocalFree(info.hInfo);

    HLOCAL hInfo = nullptr;
    HLOCAL hBits = nullptr;
    const int result = GetPicture(buf, intptr_t(size), SPI_SOURCE_MEMORY, &hInfo, &hBits, KeepGoing, 0);
    std::size_t blocks = 0;
    std::size_t peak = 0;
    LocalStatistics(&blocks, nullptr, &peak);
    // The pixel block at four bytes a pixel, its header and colour table: what the rule lets the data fill.
    const std::size_t allowed = 4 * ((std::size_t(4) << 20) + 1024 * size) + 65536;
    if (peak > allowed)
        Fail("the plug-in took more local memory than the data can fill", peak, allowed);
    if (result == SPI_ALL_RIGHT) {
        if (!hInfo || !hBits || hInfo == hBits || blocks != blocksBefore + 2)
            Fail("a decoded picture must come as two distinct blocks", blocks, blocksBefore);
        const auto* h = static_cast<const SpiBitmapInfoHeader*>(LocalLock(hInfo));
        const std::size_t rowBytes = ((std::size_t(h->biWidth) * h->biBitCount + 31) / 32) * 4;
        if (LocalSize(hBits) < rowBytes * std::size_t(std::abs(h->biHeight)))
            Fail("the pixel block is shorter than its rows", LocalSize(hBits), rowBytes);
        // Every byte handed back must be defined: the sanitizers see a read of anything left unwritten.
        const auto* pixels = static_cast<const uint8_t*>(LocalLock(hBits));
        volatile uint8_t sum = 0;
        for (std::size_t i = 0; i < LocalSize(hBits); i += 4093)
            sum = uint8_t(sum + pixels[i]);
        LocalUnlock(hBits);
        LocalUnlock(hInfo);
    } else if (blocks != blocksBefore + (hInfo ? 1 : 0) + (hBits ? 1 : 0)) {
        Fail("blocks left behind by a failed call", blocks, blocksBefore);
    }
    LocalFree(hInfo);
    LocalFree(hBits);
    LocalStatistics(&blocks, nullptr, nullptr);
    if (blocks != blocksBefore)
        Fail("blocks outlive the call", blocks, blocksBefore);
    return 0;
}

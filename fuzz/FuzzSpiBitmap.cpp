// The host's check of what a plug-in hands back, and everything that reads the pixels after it: the
// input is a plug-in's answer to GetPicture (an information block and a pixel block, each exactly as
// long as given), loaded as the list's thumbnail and as the full-size bitmap.
//   input: [information length, 2 bytes little-endian][information block][pixel block]
#include "fuzz/FuzzSupport.h"

#include "platform/Exception.h"
#include "spi/SPIBmp.h"
#include "spi/SPIs.h"

#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <memory>

namespace {

QByteArray g_input;

HLOCAL BlockOf(const char* data, std::size_t size)
{
    HLOCAL block = LocalAlloc(LMEM_FIXED, size);
    if (block && size > 0) {
        std::memcpy(LocalLock(block), data, size);
        LocalUnlock(block);
    }
    return block;
}

extern "C" int FuzzGetPluginInfo(int number, char* buffer, int length)
{
    static const char* const kInfo[] = {"00IN", "fuzz", "*.pic", "Pictures"};
    if (number < 0 || number > 3 || length <= 0)
        return 0;
    const int n = std::min<int>(int(std::strlen(kInfo[number])), length - 1);
    std::memcpy(buffer, kInfo[number], std::size_t(n));
    buffer[n] = '\0';
    return n;
}

extern "C" int FuzzIsSupported(const char*, void*)
{
    return 1;
}

extern "C" int FuzzGetPictureInfo(const char*, intptr_t, unsigned int, SpiPictureInfo*)
{
    return SPI_NOT_SUPPORT;
}

extern "C" int FuzzGetPicture(const char*, intptr_t, unsigned int, HLOCAL* info, HLOCAL* bits, SpiProgressCallback,
                              intptr_t)
{
    const std::size_t size = std::size_t(g_input.size());
    const std::size_t infoSize =
        size < 2 ? 0 : std::min<std::size_t>(size - 2, std::size_t(uint8_t(g_input[0])) | std::size_t(uint8_t(g_input[1])) << 8);
    const char* data = g_input.constData() + std::min<std::size_t>(size, 2);
    *info = BlockOf(data, infoSize);
    *bits = BlockOf(data + infoSize, size - std::min<std::size_t>(size, 2) - infoSize);
    return SPI_ALL_RIGHT;
}

// The one plug-in library of this process: its entry points are the functions above.
class FuzzLibrary final : public tovari::SPILibrary {
public:
    Handle Open(const QString&) override { return reinterpret_cast<Handle>(1); }
    QString ModulePath(Handle) override { return QStringLiteral("/fuzz/fuzz.spi"); }
    void* LookUp(Handle, const char* name) override
    {
        const std::pair<const char*, void*> entries[] = {
            {"GetPluginInfo", reinterpret_cast<void*>(&FuzzGetPluginInfo)},
            {"IsSupported", reinterpret_cast<void*>(&FuzzIsSupported)},
            {"GetPictureInfo", reinterpret_cast<void*>(&FuzzGetPictureInfo)},
            {"GetPicture", reinterpret_cast<void*>(&FuzzGetPicture)},
        };
        for (const auto& [entry, function] : entries)
            if (std::strcmp(entry, name) == 0)
                return function;
        return nullptr;
    }
    void Close(Handle) override {}
};

struct Host {
    QTemporaryDir dir;
    QString photo = dir.filePath(QStringLiteral("photo.pic"));
    FuzzLibrary library;
    tovari::TPictureFormats formats{false};
    tovari::TSPIBitmapRegistration registration{formats};
    tovari::TSPIs spis{library, nullptr, formats};
};

Host* g_host = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    tovari::fuzz::StartGui();
    g_host = new Host;  // lives to the end of the process, as the program's registry does
    QFile photo(g_host->photo);
    if (!photo.open(QIODevice::WriteOnly) || photo.write(QByteArray(256, 'p')) != 256)
        std::abort();
    g_host->spis.MacBinary = false;
    g_host->spis.Add(tovari::CreateSPI(g_host->library, QStringLiteral("/fuzz/fuzz.spi")));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    g_input = tovari::fuzz::Bytes(data, size);
    try {
        tovari::TSPIGraphic graphic;
        graphic.LoadFromFile(g_host->photo);
        tovari::fuzz::DrawThumbnail(graphic);
    } catch (const tovari::Exception&) {
    }
    try {
        tovari::TSPIBitmap bitmap;
        bitmap.LoadFromFile(g_host->photo);
        (void)bitmap.ToImage();
    } catch (const tovari::Exception&) {
    }
    return 0;
}

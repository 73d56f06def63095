#include "tests/spi/SpiTestSupport.h"

#include "tests/common/TestSupport.h"

#include <QDir>
#include <algorithm>
#include <array>
#include <cstring>
#include <png.h>
#include <stdexcept>

namespace tovari::test {

namespace {

constexpr int kSlots = 16;
std::array<FakePlugin*, kSlots> g_slots{};

template <int S>
struct Entries {
    static int GetPluginInfo(int number, char* buffer, int length)
    {
        FakePlugin& p = *g_slots[S];
        if (p.pluginInfo)
            return p.pluginInfo(number, buffer, length);
        if (!p.infos.contains(number))
            return 0;
        const QByteArray text = p.infos.value(number).left(length);
        std::memcpy(buffer, text.constData(), std::size_t(text.size()));
        buffer[text.size()] = '\0';
        return int(text.size());
    }
    static int IsSupported(const char*, void* header)
    {
        g_slots[S]->headers.push_back(QByteArray(static_cast<const char*>(header), 16));
        return g_slots[S]->supported;
    }
    static int GetPictureInfo(const char*, intptr_t, unsigned, SpiPictureInfo* info)
    {
        ++g_slots[S]->pictureInfoCalls;
        return g_slots[S]->pictureInfo ? g_slots[S]->pictureInfo(info) : 0;
    }
    static int GetPicture(const char* buf, intptr_t len, unsigned flag, HLOCAL* info, HLOCAL* bits,
                          SpiProgressCallback progress, intptr_t user)
    {
        FakePlugin& p = *g_slots[S];
        ++p.pictureCalls;
        p.pictureSources.emplace_back(flag == SPI_SOURCE_MEMORY ? QByteArray(buf, qsizetype(len)) : QByteArray(buf), len);
        return p.picture ? p.picture(buf, len, flag, info, bits, progress, user) : SPI_NOT_SUPPORT;
    }
    static int GetPreview(const char* buf, intptr_t len, unsigned flag, HLOCAL* info, HLOCAL* bits,
                          SpiProgressCallback progress, intptr_t user)
    {
        FakePlugin& p = *g_slots[S];
        return p.preview ? p.preview(buf, len, flag, info, bits, progress, user) : SPI_NOT_SUPPORT;
    }
    static int Other()
    {
        return 0;
    }
};

template <int S>
void* EntryFor(const std::string& name)
{
    using E = Entries<S>;
    if (name == "GetPluginInfo")
        return reinterpret_cast<void*>(&E::GetPluginInfo);
    if (name == "IsSupported")
        return reinterpret_cast<void*>(&E::IsSupported);
    if (name == "GetPictureInfo")
        return reinterpret_cast<void*>(&E::GetPictureInfo);
    if (name == "GetPicture")
        return reinterpret_cast<void*>(&E::GetPicture);
    if (name == "GetPreview")
        return reinterpret_cast<void*>(&E::GetPreview);
    return reinterpret_cast<void*>(&E::Other);
}

template <std::size_t... S>
void* EntryForSlot(int slot, const std::string& name, std::index_sequence<S...>)
{
    void* result = nullptr;
    ((slot == int(S) ? (result = EntryFor<int(S)>(name), 0) : 0), ...);
    return result;
}

}  // namespace

FakePlugin ImportPlugin(const QStringList& patternsAndDescriptions)
{
    FakePlugin p;
    p.infos[0] = "00IN";
    p.infos[1] = "Fake import plug-in";
    for (int i = 0; i < patternsAndDescriptions.size(); ++i)
        p.infos[2 + i] = patternsAndDescriptions[i].toUtf8();
    return p;
}

void MakeDib(const DibSpec& s, HLOCAL* info, HLOCAL* bits)
{
    const int colours = s.coloursUsed ? s.coloursUsed : (s.bits <= 8 ? 1 << s.bits : 0);
    const qint64 infoBytes = 40 + 4 * qint64(colours) - s.trimInfo;
    const qint64 rowBytes = ((qint64(std::max(s.width, 0)) * s.bits + 31) / 32) * 4;
    const qint64 bitsBytes = rowBytes * s.height - s.trimBits;
    *info = LocalAlloc(LMEM_ZEROINIT, std::size_t(std::max<qint64>(infoBytes, 0)));
    *bits = LocalAlloc(LMEM_ZEROINIT, std::size_t(std::max<qint64>(bitsBytes, 0)));
    std::vector<uchar> header(std::size_t(40 + 4 * colours), 0);
    auto put32 = [&](int at, quint32 v) { std::memcpy(header.data() + at, &v, 4); };
    auto put16 = [&](int at, quint16 v) { std::memcpy(header.data() + at, &v, 2); };
    put32(0, s.headerSize);
    put32(4, quint32(s.width));
    put32(8, quint32(s.height * s.heightSign));
    put16(12, quint16(s.planes));
    put16(14, quint16(s.bits));
    put32(32, quint32(s.coloursUsed));
    for (int i = 0; i < colours; ++i) {
        const quint32 c = i < s.table.size() ? s.table[i] : quint32(i * 0x010101);
        header[std::size_t(40 + 4 * i)] = uchar(c);
        header[std::size_t(41 + 4 * i)] = uchar(c >> 8);
        header[std::size_t(42 + 4 * i)] = uchar(c >> 16);
    }
    std::memcpy(LocalLock(*info), header.data(), std::size_t(std::max<qint64>(infoBytes, 0)));
    LocalUnlock(*info);
    auto* out = static_cast<uchar*>(LocalLock(*bits));
    std::vector<uchar> all(std::size_t(rowBytes * std::max(s.height, 0)), 0);
    for (int y = 0; y < s.height; ++y) {
        uchar* row = all.data() + (s.heightSign > 0 ? s.height - 1 - y : y) * rowBytes;
        for (int x = 0; x < s.width; ++x) {
            const quint32 v = s.pixel(x, y);
            switch (s.bits) {
            case 1: row[x / 8] |= uchar((v & 1) << (7 - x % 8)); break;
            case 4: row[x / 2] |= uchar((v & 15) << (x % 2 ? 0 : 4)); break;
            case 8: row[x] = uchar(v); break;
            case 24: row[3 * x] = uchar(v); row[3 * x + 1] = uchar(v >> 8); row[3 * x + 2] = uchar(v >> 16); break;
            case 32: std::memcpy(row + 4 * x, &v, 4); break;
            default: break;
            }
        }
    }
    // A block that lies about its size may be empty: nothing to copy then.
    if (bitsBytes > 0 && out && !all.empty())
        std::memcpy(out, all.data(), std::min(std::size_t(bitsBytes), all.size()));
    LocalUnlock(*bits);
}

PictureCall AnswerDib(FakePlugin& plugin, DibSpec spec)
{
    return [&plugin, spec](const char*, intptr_t, unsigned, HLOCAL* info, HLOCAL* bits, SpiProgressCallback, intptr_t) {
        MakeDib(spec, info, bits);
        plugin.handedOut.push_back(*info);
        plugin.handedOut.push_back(*bits);
        return 0;
    };
}

FakeLibrary::~FakeLibrary()
{
    for (const Entry& e : entries_)
        g_slots[std::size_t(e.slot)] = nullptr;
}

void FakeLibrary::Add(const QString& path, FakePlugin& plugin, bool reportsModulePath)
{
    int slot = 0;
    while (slot < kSlots && g_slots[std::size_t(slot)])
        ++slot;
    if (slot == kSlots)
        throw std::runtime_error("too many fake plug-ins");
    g_slots[std::size_t(slot)] = &plugin;
    entries_.push_back(Entry{path, slot, reportsModulePath});
}

QString FakeLibrary::AddFile(const QString& path, FakePlugin& plugin)
{
    Add(WriteFile(path, "plug-in"), plugin);
    return path;
}

SPILibrary::Handle FakeLibrary::Open(const QString& fileName)
{
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].path == fileName) {
            Handle h = reinterpret_cast<Handle>(nextHandle_++);
            handles_[h] = i;
            references_[fileName] += 1;
            opens_[fileName] += 1;
            return h;
        }
    return nullptr;
}

QString FakeLibrary::ModulePath(Handle handle)
{
    const Entry& e = entries_.at(handles_.at(handle));
    return e.reportsModulePath ? e.path : QString();
}

void* FakeLibrary::LookUp(Handle handle, const char* name)
{
    const Entry& e = entries_.at(handles_.at(handle));
    if (!g_slots[std::size_t(e.slot)]->exports.count(name))
        return nullptr;
    return EntryForSlot(e.slot, name, std::make_index_sequence<kSlots>());
}

void FakeLibrary::Close(Handle handle)
{
    const auto it = handles_.find(handle);
    if (it == handles_.end())
        throw std::runtime_error("closing a handle that is not open");
    references_[entries_[it->second].path] -= 1;
    handles_.erase(it);
}

void WritePng(const QImage& image, const QString& path)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = png_uint_32(image.width());
    png.height = png_uint_32(image.height());
    png.format = image.format() == QImage::Format_RGBA8888 ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    ASSERT_TRUE(png_image_write_to_file(&png, QFile::encodeName(path).constData(), 0, image.constBits(),
                                        png_int_32(image.bytesPerLine()), nullptr));
}

bool AllFreed(const std::vector<HLOCAL>& handles)
{
    return std::all_of(handles.begin(), handles.end(), [](HLOCAL handle) { return LocalSize(handle) == 0; });
}

QStringList Names(const std::vector<TSPI*>& spis)
{
    QStringList names;
    for (const TSPI* spi : spis)
        names.append(QDir(spi->FileName()).dirName());
    return names;
}

QStringList Names(const TSPIs& spis)
{
    std::vector<TSPI*> all;
    for (int i = 0; i < spis.Count(); ++i)
        all.push_back(spis.Items(i));
    return Names(all);
}

}  // namespace tovari::test

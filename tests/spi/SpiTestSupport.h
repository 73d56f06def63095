#pragma once

#include "platform/graphics/Picture.h"
#include "spi/SPIBmp.h"
#include "spi/SPILibrary.h"
#include "spi/SPIs.h"
#include "spi/include/tovari_spi.h"
#include "tests/common/TestSupport.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace tovari::test {

// GetPicture and GetPreview.
using PictureCall = std::function<int(const char* buf, intptr_t len, unsigned flag, HLOCAL* info, HLOCAL* bits,
                                      SpiProgressCallback progress, intptr_t user)>;

// What one fake plug-in library does. Its entry points are real C functions bound to its slot.
struct FakePlugin {
    // Information texts by number; a missing number answers 0.
    QMap<int, QByteArray> infos;
    // Exported names; the four image functions and GetPluginInfo by default.
    std::set<std::string> exports = {"GetPluginInfo", "IsSupported", "GetPictureInfo", "GetPicture"};
    // Overrides the answer of GetPluginInfo (writes into the buffer itself).
    std::function<int(int number, char* buffer, int length)> pluginInfo;
    int supported = 1;
    // GetPictureInfo; the default answers 0 and leaves the record as it is.
    std::function<int(SpiPictureInfo* info)> pictureInfo;
    // GetPicture and GetPreview; the default answers SPI_NOT_SUPPORT.
    PictureCall picture;
    PictureCall preview;

    // What the host did.
    int pictureInfoCalls = 0;
    int pictureCalls = 0;
    std::vector<QByteArray> headers;  // the first 16 bytes handed to IsSupported
    std::vector<std::pair<QByteArray, intptr_t>> pictureSources;  // memory source bytes or file name, and len
    std::vector<HLOCAL> handedOut;  // every handle the plug-in returned
};

// Import plug-in texts: "00IN", a name, then pattern and description pairs.
FakePlugin ImportPlugin(const QStringList& patternsAndDescriptions = {QStringLiteral("*.pic"), QStringLiteral("Pictures")});

// A bottom-up DIB of width x height at the given depth in two fresh handles; pixel(x, y) gives the raw value
// of each pixel (an index for indexed depths, 0xRRGGBB otherwise). colours entries of the colour table come
// from table (or a grey ramp).
struct DibSpec {
    int width = 2;
    int height = 2;
    int bits = 24;
    int coloursUsed = 0;
    QList<quint32> table;
    std::function<quint32(int x, int y)> pixel = [](int, int) { return 0x336699u; };
    // For crafting bad results.
    quint32 headerSize = 40;
    int planes = 1;
    int heightSign = 1;
    qint64 trimInfo = 0;
    qint64 trimBits = 0;
};
void MakeDib(const DibSpec& spec, HLOCAL* info, HLOCAL* bits);
// A GetPicture that answers the DIB (and records its handles in plugin.handedOut).
PictureCall AnswerDib(FakePlugin& plugin, DibSpec spec);

// The test double of the dynamic-library seam: files named here "load" as the fake plug-in given.
class FakeLibrary : public SPILibrary {
public:
    ~FakeLibrary() override;

    // The path opens as the plug-in (kept by reference; up to 16 per test).
    void Add(const QString& path, FakePlugin& plugin, bool reportsModulePath = true);
    // The same, with a file written at the path for searches to find; returns the path.
    QString AddFile(const QString& path, FakePlugin& plugin);
    int OpenReferences(const QString& path) const { return references_.value(path); }
    int OpenCount(const QString& path) const { return opens_.value(path); }

    Handle Open(const QString& fileName) override;
    QString ModulePath(Handle handle) override;
    void* LookUp(Handle handle, const char* name) override;
    void Close(Handle handle) override;

private:
    struct Entry {
        QString path;
        int slot;
        bool reportsModulePath;
    };
    std::vector<Entry> entries_;
    std::map<Handle, std::size_t> handles_;
    QMap<QString, int> references_;
    QMap<QString, int> opens_;
    std::uintptr_t nextHandle_ = 1;
};

// An RGB or RGBA picture as a PNG file, through libpng.
void WritePng(const QImage& image, const QString& path);

// Whether every one of the handles has been freed.
bool AllFreed(const std::vector<HLOCAL>& handles);

// The plug-ins' file names without their folders, in order.
QStringList Names(const std::vector<TSPI*>& spis);
QStringList Names(const TSPIs& spis);

// The plug-ins of this build, searched and registered for their formats.
class WithRealPlugins : public ::testing::Test {
protected:
    void SetUp() override { spis.Search(QStringLiteral(TOVARI_PLUGIN_DIR "/*.spi")); }

    QTemporaryDir dir;
    TNativeSPILibrary library;
    TPictureFormats formats{false};
    TSPIBitmapRegistration registration{formats};
    TSPIs spis{library, nullptr, formats};
};

}  // namespace tovari::test

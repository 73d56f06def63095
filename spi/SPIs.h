#pragma once

#include "platform/Exception.h"
#include "platform/graphics/Picture.h"
#include "spi/SPILibrary.h"
#include "spi/include/tovari_spi.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tovari {

// The plug-in file cannot be loaded as a library.
class ESPIFOpenErrorSPI : public Exception {
public:
    using Exception::Exception;
};

// A call, or a kind's check, needs an entry point that the library does not export.
class ESPIInvalidAPI : public Exception {
public:
    using Exception::Exception;
};

// A second registry while one is live.
class ESPIDupCreateSPIs : public Exception {
public:
    using Exception::Exception;
};

// One loaded plug-in library of no particular kind. Immutable once made; destroying it closes its
// reference to the library.
class TSPI {
public:
    virtual ~TSPI();
    TSPI(const TSPI&) = delete;
    TSPI& operator=(const TSPI&) = delete;

    // The virtual constructor: opens the library, binds its entry points, checks them for the kind T and
    // reads its information texts. Throws ESPIFOpenErrorSPI or ESPIInvalidAPI.
    template <class T>
    static std::unique_ptr<T> Create(SPILibrary& library, const QString& fileName)
    {
        std::unique_ptr<T> spi(new T(library));
        spi->Construct(fileName);
        return spi;
    }

    const QString& FileName() const { return fileName_; }
    const QString& APIVersion() const { return apiVersion_; }
    const QString& PluginName() const { return pluginName_; }
    const QStringList& Extensions() const { return extensions_; }
    const QStringList& Descriptions() const { return descriptions_; }
    bool Enabled() const { return enabled_; }

    // Typed calls; each throws ESPIInvalidAPI when its entry point is not bound and otherwise returns the
    // plug-in's answer unchanged.
    int GetPluginInfo(int infoNumber, char* buffer, int bufferLength) const;
    int IsSupported(const char* fileName, void* header) const;
    int GetPictureInfo(const char* buf, intptr_t len, unsigned int flag, SpiPictureInfo* info) const;
    int GetPicture(const char* buf, intptr_t len, unsigned int flag, HLOCAL* bitmapInfo, HLOCAL* bits,
                   SpiProgressCallback progress, intptr_t userData) const;
    int GetPreview(const char* buf, intptr_t len, unsigned int flag, HLOCAL* bitmapInfo, HLOCAL* bits,
                   SpiProgressCallback progress, intptr_t userData) const;

protected:
    explicit TSPI(SPILibrary& library) : library_(library) {}
    virtual void CheckAPI() const;
    virtual bool GetEnabled() const { return false; }
    void Require(void* entry, const char* name) const;

    void* getPluginInfo_ = nullptr;
    void* configurationDlg_ = nullptr;
    void* isSupported_ = nullptr;
    void* getPictureInfo_ = nullptr;
    void* getPicture_ = nullptr;
    void* getPreview_ = nullptr;
    void* getArchiveInfo_ = nullptr;
    void* getFileInfo_ = nullptr;
    void* getFile_ = nullptr;

private:
    void Construct(const QString& fileName);
    // The text under the number, or nothing when the plug-in has none.
    std::optional<QString> InfoText(int infoNumber) const;

    SPILibrary& library_;
    SPILibrary::Handle handle_ = nullptr;
    QString fileName_;
    QString apiVersion_;
    QString pluginName_;
    QStringList extensions_;
    QStringList descriptions_;
    bool enabled_ = false;
};

// A plug-in that can test files. Never made directly.
class TLoaderSPI : public TSPI {
protected:
    using TSPI::TSPI;
    void CheckAPI() const override;
};

// Image import, API version "00IN".
class TInSPI : public TLoaderSPI {
    friend class TSPI;

protected:
    using TLoaderSPI::TLoaderSPI;
    void CheckAPI() const override;
    bool GetEnabled() const override { return true; }
};

// Archive, API version "00AM".
class TAmSPI : public TLoaderSPI {
    friend class TSPI;

protected:
    using TLoaderSPI::TLoaderSPI;
    void CheckAPI() const override;
    bool GetEnabled() const override { return true; }
};

// API version "00XN"; needs nothing beyond the base.
class TXnSPI : public TSPI {
    friend class TSPI;

protected:
    using TSPI::TSPI;
};

// The plug-in of the kind that the library declares, or nothing when it cannot be loaded.
// Throws ESPIInvalidAPI when it lacks a function its kind needs.
std::unique_ptr<TSPI> CreateSPI(SPILibrary& library, const QString& fileName);

enum TSPISearchOption { spsSusieDir = 1, spsAppDir = 2, spsCurrentDir = 4, spsSystemDir = 8, spsWindowsDir = 16 };
using TSPISearchOptions = unsigned int;

// Where each search option points on this platform; an empty answer searches nothing.
struct TSPISearchFolders {
    std::function<QString()> SusieDir;
    std::function<QString()> AppDir;
    std::function<QString()> CurrentDir;
    std::function<QString()> SystemDir;
    std::function<QString()> WindowsDir;

    // The viewer's own folder, the system folder and the Windows folder have no counterpart here and read
    // nothing; the program's folder is the executable's, the current folder the process's.
    static TSPISearchFolders Platform();
};

// A plug-in class for FindSPIs: whether a plug-in is of it (or of a class derived from it).
using TSPIClass = bool (*)(const TSPI&);
template <class T>
bool SPIClass(const TSPI& spi)
{
    if constexpr (std::is_same_v<T, TSPI>)
        return true;
    else
        return dynamic_cast<const T*>(&spi) != nullptr;
}

// The one registry of loaded plug-ins. It searches folders for plug-in files, keeps the plug-ins in search
// order and registers the file patterns of every import plug-in with the picture-format registry.
class TSPIs : public QObject {
    Q_OBJECT
public:
    // Throws ESPIDupCreateSPIs while another registry is live.
    explicit TSPIs(SPILibrary& library, QObject* owner = nullptr,
                   TPictureFormats& formats = TPictureFormats::Global());
    ~TSPIs() override;

    bool MacBinary = true;
    bool GraphicPreview = false;
    bool AutoSearch = true;
    TSPISearchOptions SearchOptions = spsSusieDir | spsAppDir;
    TSPISearchFolders SearchFolders = TSPISearchFolders::Platform();

    std::function<void(TSPIs& sender, TSPI& spi, bool& accept)> OnSearch;
    std::function<void(TSPIs& sender, const QString& fileName, bool& accept)> OnSearching;
    std::function<void(TSPIs& sender, TInSPI& spi, const QString& extension, const QString& description,
                       std::optional<TGraphicClass>& graphicClass)>
        OnPictureRegister;

    // A mask with a folder part ("folder/*.spi") searches that folder only; a bare pattern visits the
    // folders of SearchOptions. Throws what CreateSPI or OnSearching throw; plug-ins added before stay.
    void Search(const QString& mask);
    void Add(std::unique_ptr<TSPI> spi);
    void Insert(int index, std::unique_ptr<TSPI> spi);
    void Delete(int index);
    void Clear();
    int Count() const { return int(list_.size()); }
    TSPI* Items(int index) const { return list_.at(std::size_t(index)).get(); }
    // The first plug-in whose FileName equals the text, ASCII letter case ignored; -1 when none.
    int IndexOf(const QString& fileName) const;
    // Appends the plug-ins of the classes to target in trial order for the name or extension: those that
    // list the extension first, newest first, then the rest in registry order.
    void FindSPIs(const std::vector<TSPIClass>& classes, const QString& name, std::vector<TSPI*>& target) const;

    static TSPIs* GetSPIs();
    static void SetGraphicClass(std::optional<TGraphicClass> graphicClass);

private:
    void SearchFolder(const QString& folder, const QString& pattern);
    void RegisterPatterns(TInSPI& spi);

    SPILibrary& library_;
    TPictureFormats& formats_;
    std::vector<std::unique_ptr<TSPI>> list_;
};

}  // namespace tovari

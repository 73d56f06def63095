#include "spi/SPIs.h"

#include "platform/Cp932.h"
#include "platform/DirEnum.h"
#include "platform/FileName.h"

#include <QCoreApplication>
#include <QDir>
#include <algorithm>
#include <cstring>
#include <fnmatch.h>
#include <sys/stat.h>

namespace tovari {

namespace {

constexpr int kInfoBufferBytes = 256;

TSPIs* g_instance = nullptr;
std::optional<TGraphicClass> g_graphicClass;

[[noreturn]] void RaiseInvalidAPI(const char* name, const QString& fileName)
{
    throw ESPIInvalidAPI(QStringLiteral("%1は[%2]では使えないSusie Plugin APIです").arg(QLatin1String(name), fileName));
}

bool SameNameIgnoringAsciiCase(const QString& a, const QString& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        QChar x = a[i], y = b[i];
        if (x.unicode() < 128)
            x = QChar::fromLatin1(char(std::tolower(x.unicode())));
        if (y.unicode() < 128)
            y = QChar::fromLatin1(char(std::tolower(y.unicode())));
        if (x != y)
            return false;
    }
    return true;
}

// The text from the last dot on, or empty when there is no dot in the last path part.
QString DotExtension(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot < name.lastIndexOf(QLatin1Char('/')))
        return QString();
    return name.mid(dot);
}

QString WithSlash(QString folder)
{
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

}  // namespace

TSPI::~TSPI()
{
    if (handle_)
        library_.Close(handle_);
}

void TSPI::Construct(const QString& fileName)
{
    handle_ = library_.Open(fileName);
    if (!handle_)
        throw ESPIFOpenErrorSPI(QStringLiteral("%1:Susie Pluginがロードできませんでした").arg(fileName));
    fileName_ = library_.ModulePath(handle_);
    if (fileName_.isEmpty())
        fileName_ = fileName;
    getPluginInfo_ = library_.LookUp(handle_, "GetPluginInfo");
    configurationDlg_ = library_.LookUp(handle_, "ConfigurationDlg");
    isSupported_ = library_.LookUp(handle_, "IsSupported");
    getPictureInfo_ = library_.LookUp(handle_, "GetPictureInfo");
    getPicture_ = library_.LookUp(handle_, "GetPicture");
    getPreview_ = library_.LookUp(handle_, "GetPreview");
    getArchiveInfo_ = library_.LookUp(handle_, "GetArchiveInfo");
    getFileInfo_ = library_.LookUp(handle_, "GetFileInfo");
    getFile_ = library_.LookUp(handle_, "GetFile");
    CheckAPI();
    apiVersion_ = InfoText(0).value_or(QString());
    pluginName_ = InfoText(1).value_or(QString());
    for (int n = 2;; n += 2) {
        const std::optional<QString> patterns = InfoText(n);
        if (!patterns)
            break;
        const std::optional<QString> description = InfoText(n + 1);
        if (!description)
            break;
        extensions_.append(*patterns);
        descriptions_.append(*description);
    }
    enabled_ = GetEnabled();
}

std::optional<QString> TSPI::InfoText(int infoNumber) const
{
    char buffer[kInfoBufferBytes];
    std::memset(buffer, 0, sizeof buffer);
    if (GetPluginInfo(infoNumber, buffer, kInfoBufferBytes - 1) <= 0)
        return std::nullopt;
    // A plug-in may leave no NUL or claim more than it could write: never read past the buffer.
    const void* nul = std::memchr(buffer, 0, sizeof buffer);
    const std::size_t length = nul ? std::size_t(static_cast<const char*>(nul) - buffer) : sizeof buffer;
    return FromCp932(QByteArray(buffer, qsizetype(length)));
}

void TSPI::Require(void* entry, const char* name) const
{
    if (!entry)
        RaiseInvalidAPI(name, fileName_);
}

void TSPI::CheckAPI() const
{
    Require(getPluginInfo_, "GetPluginInfo");
}

void TLoaderSPI::CheckAPI() const
{
    TSPI::CheckAPI();
    Require(isSupported_, "IsSupported");
}

void TInSPI::CheckAPI() const
{
    TLoaderSPI::CheckAPI();
    Require(getPictureInfo_, "GetPictureInfo");
    Require(getPicture_, "GetPicture");
}

void TAmSPI::CheckAPI() const
{
    TLoaderSPI::CheckAPI();
    Require(getArchiveInfo_, "GetArchiveInfo");
    Require(getFileInfo_, "GetFileInfo");
    Require(getFile_, "GetFile");
}

int TSPI::GetPluginInfo(int infoNumber, char* buffer, int bufferLength) const
{
    Require(getPluginInfo_, "GetPluginInfo");
    return reinterpret_cast<SpiGetPluginInfo>(getPluginInfo_)(infoNumber, buffer, bufferLength);
}

int TSPI::IsSupported(const char* fileName, void* header) const
{
    Require(isSupported_, "IsSupported");
    return reinterpret_cast<SpiIsSupported>(isSupported_)(fileName, header);
}

int TSPI::GetPictureInfo(const char* buf, intptr_t len, unsigned int flag, SpiPictureInfo* info) const
{
    Require(getPictureInfo_, "GetPictureInfo");
    return reinterpret_cast<SpiGetPictureInfo>(getPictureInfo_)(buf, len, flag, info);
}

int TSPI::GetPicture(const char* buf, intptr_t len, unsigned int flag, HLOCAL* bitmapInfo, HLOCAL* bits,
                     SpiProgressCallback progress, intptr_t userData) const
{
    Require(getPicture_, "GetPicture");
    return reinterpret_cast<SpiGetPicture>(getPicture_)(buf, len, flag, bitmapInfo, bits, progress, userData);
}

int TSPI::GetPreview(const char* buf, intptr_t len, unsigned int flag, HLOCAL* bitmapInfo, HLOCAL* bits,
                     SpiProgressCallback progress, intptr_t userData) const
{
    Require(getPreview_, "GetPreview");
    return reinterpret_cast<SpiGetPicture>(getPreview_)(buf, len, flag, bitmapInfo, bits, progress, userData);
}

std::unique_ptr<TSPI> CreateSPI(SPILibrary& library, const QString& fileName)
{
    try {
        std::unique_ptr<TSPI> probe = TSPI::Create<TSPI>(library, fileName);
        const QString version = probe->APIVersion();
        // The probe's reference closes when it goes out of scope, whatever the second build does.
        if (version == QLatin1String("00IN"))
            return TSPI::Create<TInSPI>(library, fileName);
        if (version == QLatin1String("00AM"))
            return TSPI::Create<TAmSPI>(library, fileName);
        if (version == QLatin1String("00XN"))
            return TSPI::Create<TXnSPI>(library, fileName);
        return TSPI::Create<TSPI>(library, fileName);
    } catch (const ESPIFOpenErrorSPI&) {
        // Not a library that loads here: a search passes over it without a word.
        return nullptr;
    }
}

TSPISearchFolders TSPISearchFolders::Platform()
{
    TSPISearchFolders folders;
    folders.SusieDir = [] { return QString(); };
    folders.AppDir = [] { return QCoreApplication::applicationDirPath(); };
    folders.CurrentDir = [] { return QDir::currentPath(); };
    folders.SystemDir = [] { return QString(); };
    folders.WindowsDir = [] { return QString(); };
    return folders;
}

TSPIs::TSPIs(SPILibrary& library, QObject* owner, TPictureFormats& formats)
    : QObject(owner), library_(library), formats_(formats)
{
    if (g_instance)
        throw ESPIDupCreateSPIs(QStringLiteral("TSPIs は複数生成できません"));
    g_instance = this;
}

TSPIs::~TSPIs()
{
    if (g_instance == this)
        g_instance = nullptr;
    list_.clear();
}

TSPIs* TSPIs::GetSPIs()
{
    return g_instance;
}

void TSPIs::SetGraphicClass(std::optional<TGraphicClass> graphicClass)
{
    g_graphicClass = std::move(graphicClass);
}

void TSPIs::Search(const QString& mask)
{
    const qsizetype slash = mask.lastIndexOf(QLatin1Char('/'));
    if (slash >= 0) {
        SearchFolder(mask.left(slash + 1), mask.mid(slash + 1));
        return;
    }
    const std::pair<TSPISearchOption, const std::function<QString()>*> visits[] = {
        {spsSusieDir, &SearchFolders.SusieDir},     {spsAppDir, &SearchFolders.AppDir},
        {spsCurrentDir, &SearchFolders.CurrentDir}, {spsSystemDir, &SearchFolders.SystemDir},
        {spsWindowsDir, &SearchFolders.WindowsDir},
    };
    for (const auto& [option, folder] : visits) {
        if (!(SearchOptions & option) || !*folder)
            continue;
        const QString dir = (*folder)();
        if (!dir.isEmpty())
            SearchFolder(WithSlash(dir), mask);
    }
}

void TSPIs::SearchFolder(const QString& folder, const QString& pattern)
{
    const QString dir = WithSlash(folder);
    const QByteArray nativePattern = NativePath(pattern);
    std::vector<QString> names;
    {
        TDirEnum entries(dir);
        TDirEnum::Entry entry;
        while (entries.Next(entry)) {
            if (entry.directory || entry.hidden)
                continue;
            if (fnmatch(nativePattern.constData(), NativePath(entry.name).constData(), FNM_CASEFOLD) != 0)
                continue;
            // Regular files and links to them only: opening a pipe or a device as a library could block.
            struct stat info;
            if (stat(NativePath(dir + entry.name).constData(), &info) != 0 || !S_ISREG(info.st_mode))
                continue;
            names.push_back(entry.name);
        }
    }
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = QString::compare(a, b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    std::vector<QString> candidates;
    for (const QString& name : names)
        if (IndexOf(dir + name) < 0)
            candidates.push_back(dir + name);

    for (const QString& path : candidates) {
        bool accept = true;
        if (OnSearching)
            OnSearching(*this, path, accept);
        if (!accept)
            continue;
        std::unique_ptr<TSPI> spi = CreateSPI(library_, path);
        if (!spi)
            continue;
        TSPI* raw = spi.get();
        try {
            accept = true;
            if (OnSearch)
                OnSearch(*this, *spi, accept);
            if (accept)
                Add(std::move(spi));
        } catch (...) {
            // A plug-in that fails to be taken in is dropped; the search goes on with the next file.
            for (std::size_t i = 0; i < list_.size(); ++i)
                if (list_[i].get() == raw) {
                    list_.erase(list_.begin() + std::ptrdiff_t(i));
                    break;
                }
        }
    }
}

void TSPIs::Add(std::unique_ptr<TSPI> spi)
{
    Insert(Count(), std::move(spi));
}

void TSPIs::Insert(int index, std::unique_ptr<TSPI> spi)
{
    TSPI* raw = spi.get();
    list_.insert(list_.begin() + index, std::move(spi));
    if (auto* in = dynamic_cast<TInSPI*>(raw))
        RegisterPatterns(*in);
}

void TSPIs::RegisterPatterns(TInSPI& spi)
{
    for (qsizetype i = 0; i < spi.Extensions().size(); ++i) {
        std::optional<TGraphicClass> graphicClass = g_graphicClass;
        QString patterns = spi.Extensions()[i];
        const QString description = spi.Descriptions()[i];
        while (!patterns.isEmpty()) {
            QString pattern;
            const qsizetype semicolon = patterns.lastIndexOf(QLatin1Char(';'));
            if (semicolon >= 0) {
                pattern = patterns.mid(semicolon + 1);
                patterns = patterns.left(semicolon);
            } else {
                pattern = patterns;
                patterns.clear();
            }
            // An empty pattern (a list ending in ";") names nothing.
            if (pattern.isEmpty())
                continue;
            const qsizetype dot = pattern.indexOf(QLatin1Char('.'));
            const QString extension = dot >= 0 ? pattern.mid(dot + 1) : pattern;
            if (OnPictureRegister)
                OnPictureRegister(*this, spi, extension, description, graphicClass);
            if (graphicClass)
                formats_.Register(extension, description, *graphicClass);
        }
    }
}

void TSPIs::Delete(int index)
{
    list_.erase(list_.begin() + index);
}

void TSPIs::Clear()
{
    while (Count() > 0)
        Delete(0);
}

int TSPIs::IndexOf(const QString& fileName) const
{
    for (int i = 0; i < Count(); ++i)
        if (SameNameIgnoringAsciiCase(list_[std::size_t(i)]->FileName(), fileName))
            return i;
    return -1;
}

void TSPIs::FindSPIs(const std::vector<TSPIClass>& classes, const QString& name, std::vector<TSPI*>& target) const
{
    const QString extension = DotExtension(name);
    std::vector<TSPI*> claiming;
    std::vector<TSPI*> rest;
    for (const auto& spi : list_) {
        if (std::none_of(classes.begin(), classes.end(), [&](TSPIClass c) { return c(*spi); }))
            continue;
        const QStringList& entries = spi->Extensions();
        const bool lists = !extension.isEmpty() && std::any_of(entries.begin(), entries.end(), [&](QString e) {
            // The entry's last pattern counts; empty ones after it (a list ending in ";") are none.
            while (e.endsWith(QLatin1Char(';')))
                e.chop(1);
            return SameNameIgnoringAsciiCase(DotExtension(e), extension);
        });
        (lists ? claiming : rest).push_back(spi.get());
    }
    // Each claiming plug-in goes to the front as it is met, so the newest comes first.
    target.insert(target.begin(), claiming.rbegin(), claiming.rend());
    target.insert(target.end(), rest.begin(), rest.end());
}

}  // namespace tovari

#include "album/AlbumCache.h"

#include "platform/Exception.h"
#include "platform/FileName.h"
#include "platform/graphics/Picture.h"
#include "service/HttpClient.h"
#include "service/ServiceClient.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tovari {

namespace {
constexpr int kCellSize = 100;
constexpr qsizetype kMaxNameBytes = 255;
}  // namespace

bool IsPlainCacheFileName(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar c : name)
        if (c == QLatin1Char('/') || c.unicode() < 0x20 || c.unicode() == 0x7F || c.category() == QChar::Other_Control)
            return false;
    return NativePath(name).size() <= kMaxNameBytes;
}

QString ThumbnailCachePath(const QString& cacheFolder, int photoId)
{
    return cacheFolder + QLatin1Char('/') + QString::number(photoId) + QStringLiteral(".jpg");
}

bool IsReadableFile(const QString& path)
{
    QFile file;
    return OpenNativeFile(file, path, QIODevice::ReadOnly);
}

bool RemoveCacheFile(const QString& path)
{
    return ::unlink(NativePath(path).constData()) == 0;
}

namespace {

// Opens path in the cache folder for writing, created or emptied; O_NOFOLLOW: a link planted in the cache
// folder must not send the download elsewhere, and a pipe or device already there is refused without
// blocking.
void CreateCacheFile(QFile& file, const QString& path)
{
    const int fd = ::open(NativePath(path).constData(),
                          O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0666);
    struct stat info {};
    if (fd >= 0 && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        ::close(fd);
        throw EFCreateError(QStringLiteral("\"%1\" is not a regular file.").arg(path));
    }
    if (fd < 0)
        throw EFCreateError(QStringLiteral("Cannot create file \"%1\".").arg(path));
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        RemoveCacheFile(path);
        throw EFCreateError(QStringLiteral("Cannot create file \"%1\".").arg(path));
    }
}

}  // namespace

bool DownloadIntoCache(TServiceClient& service, const QString& url, const QString& path)
{
    QFile file;
    CreateCacheFile(file, path);
    const bool ok = service.GetHTTPBin(url, file);
    file.close();
    if (!ok)
        RemoveCacheFile(path);
    return ok;
}

std::optional<QByteArray> DownloadThumbnailIntoCache(TServiceClient& service, const QString& url, const QString& path)
{
    // Fetched before the file is made: a failed request leaves nothing to clean up.
    QByteArray body;
    if (!service.GetHTTPBin(url, body, kMaxThumbnailReplyBytes))
        return std::nullopt;
    QFile file;
    CreateCacheFile(file, path);
    const bool ok = file.write(body) == body.size() && file.flush();
    file.close();
    if (!ok) {
        RemoveCacheFile(path);
        return std::nullopt;
    }
    return body;
}

QImage AlbumThumbnailCell(const QImage& picture)
{
    QImage cell(kCellSize, kCellSize, QImage::Format_RGB32);
    cell.fill(Qt::white);
    QPainter painter(&cell);
    painter.drawImage(QPoint((kCellSize - picture.width()) / 2, (kCellSize - picture.height()) / 2), picture);
    return cell;
}

namespace {

QImage CellOf(const TPicture& picture, const QString& path)
{
    if (picture.Empty())
        throw EInvalidGraphic(QStringLiteral("Empty picture \"%1\".").arg(path));
    return AlbumThumbnailCell(picture.Graphic()->ToImage());
}

}  // namespace

QImage DecodeAlbumThumbnail(const QString& path)
{
    TPicture picture;
    picture.LoadFromFile(path);
    return CellOf(picture, path);
}

QImage DecodeAlbumThumbnail(const QByteArray& bytes, const QString& path)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    TPicture picture;
    picture.LoadFromStream(buffer, path);
    return CellOf(picture, path);
}

}  // namespace tovari

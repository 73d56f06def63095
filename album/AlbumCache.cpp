#include "album/AlbumCache.h"

#include "platform/Exception.h"
#include "platform/FileName.h"
#include "platform/graphics/Picture.h"
#include "service/ServiceClient.h"

#include <QFile>
#include <QPainter>
#include <fcntl.h>
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

bool DownloadIntoCache(TServiceClient& service, const QString& url, const QString& path)
{
    // O_NOFOLLOW: a link planted in the cache folder must not send the download elsewhere.
    const int fd = ::open(NativePath(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0)
        throw EFCreateError(QStringLiteral("Cannot create file \"%1\".").arg(path));
    QFile file;
    if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        RemoveCacheFile(path);
        throw EFCreateError(QStringLiteral("Cannot create file \"%1\".").arg(path));
    }
    const bool ok = service.GetHTTPBin(url, file);
    file.close();
    if (!ok)
        RemoveCacheFile(path);
    return ok;
}

QImage AlbumThumbnailCell(const QImage& picture)
{
    QImage cell(kCellSize, kCellSize, QImage::Format_RGB32);
    cell.fill(Qt::white);
    QPainter painter(&cell);
    painter.drawImage(QPoint((kCellSize - picture.width()) / 2, (kCellSize - picture.height()) / 2), picture);
    return cell;
}

QImage DecodeAlbumThumbnail(const QString& path)
{
    TPicture picture;
    picture.LoadFromFile(path);
    if (picture.Empty())
        throw EInvalidGraphic(QStringLiteral("Empty picture \"%1\".").arg(path));
    return AlbumThumbnailCell(picture.Graphic()->ToImage());
}

}  // namespace tovari

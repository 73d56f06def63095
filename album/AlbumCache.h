#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <optional>

namespace tovari {

class TServiceClient;

// A name from the service may become a file name in the cache folder only when it is one plain name:
// not empty, not "." or "..", no "/" and no control character (NUL included), at most 255 bytes on disk.
bool IsPlainCacheFileName(const QString& name);

// The cached thumbnail of a photo: "<id>.jpg" in the cache folder.
QString ThumbnailCachePath(const QString& cacheFolder, int photoId);

// True when the file can be opened for reading.
bool IsReadableFile(const QString& path);

// Downloads url into path, a file of the cache folder that is created or emptied for it; a link
// standing at path is never followed (EFCreateError, as for any file that cannot be created). A
// download that fails removes the file again, so a failure never looks like a cached picture.
bool DownloadIntoCache(TServiceClient& service, const QString& url, const QString& path);

// A thumbnail: fetched whole into memory (at most kMaxThumbnailReplyBytes), then written to path as
// DownloadIntoCache writes. The body, or nothing when the download or the write failed (no file is left).
std::optional<QByteArray> DownloadThumbnailIntoCache(TServiceClient& service, const QString& url, const QString& path);

// Removes a file by a name that may not be UTF-8; false when nothing was removed.
bool RemoveCacheFile(const QString& path);

// The list picture of a thumbnail: a white 100 x 100 square with the picture drawn at
// ((100 - width) / 2, (100 - height) / 2), so smaller ones are centred and larger ones centred and cropped.
QImage AlbumThumbnailCell(const QImage& picture);

// Decodes a thumbnail file (decoder by its extension) into its list picture; throws when it cannot.
QImage DecodeAlbumThumbnail(const QString& path);
// The same for the bytes of the file at path, already in memory.
QImage DecodeAlbumThumbnail(const QByteArray& bytes, const QString& path);

}  // namespace tovari

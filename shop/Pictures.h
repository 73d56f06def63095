#pragma once

#include <QImage>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tovari::shop {

inline constexpr int kThumbnailEdge = 100;

// A picture kept in the files folder, with its thumbnail; names relative to that folder.
struct SavedPicture {
    std::string file;
    std::string thumbnail;
};

class PictureFiles {
public:
    explicit PictureFiles(std::filesystem::path folder);

    // `name` only lends its extension to the stored file.
    SavedPicture Save(std::string_view bytes, std::string_view name) const;
    std::optional<std::string> Read(const std::string& relativeName) const;

private:
    std::string WriteNew(std::string_view bytes, std::string_view extension) const;

    std::filesystem::path folder_;
};

// A JPEG of at most 100 x 100 that keeps the picture's proportions. Bytes that no decoder
// reads still get a thumbnail (a grey placeholder), so an odd upload never breaks a page.
std::string MakeThumbnailJpeg(std::string_view pictureBytes);

std::string EncodeJpeg(const QImage& image, int quality = 85);

// Simple landscapes for the demo album; the seed picks colours and shapes.
QImage DrawDemoScene(int seed, int width, int height);

std::string ContentTypeForName(std::string_view name);

// The name a photo is kept and listed under, from the client's whole local path in CP932: its last
// part, a plain file name (no path parts, no control characters, never "." or "..") that keeps the
// extension. A path that is not valid CP932 gives "upload" with the extension it ends in.
std::string StoredPhotoName(const std::string& cp932Path);

}  // namespace tovari::shop

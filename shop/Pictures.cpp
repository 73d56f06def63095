#include "shop/Pictures.h"

#include "shop/Sqlite.h"
#include "shop/WireText.h"

#include <QBuffer>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <random>

namespace tovari::shop {

namespace {

std::string LowerExtension(std::string_view name)
{
    auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == name.size())
        return {};
    std::string extension(name.substr(dot + 1));
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    // Only plain extensions make it into file names on disk.
    bool plain = extension.size() <= 8
        && std::all_of(extension.begin(), extension.end(), [](unsigned char c) { return std::isalnum(c); });
    return plain ? extension : std::string();
}

QImage PlaceholderThumbnail()
{
    QImage image(kThumbnailEdge, kThumbnailEdge, QImage::Format_RGB32);
    image.fill(QColor(0xd0, 0xd0, 0xd0));
    QPainter painter(&image);
    painter.setPen(QPen(QColor(0x80, 0x80, 0x80), 3));
    painter.drawLine(25, 25, 75, 75);
    painter.drawLine(75, 25, 25, 75);
    return image;
}

// The extension of a name, dot included, when it is a plain one of ASCII letters and digits.
std::string PlainExtension(std::string_view name)
{
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == name.size() || name.size() - dot > 17)
        return {};
    const auto extension = name.substr(dot);
    const bool plain = std::all_of(extension.begin() + 1, extension.end(),
                                   [](unsigned char c) { return c < 0x80 && std::isalnum(c); });
    return plain ? std::string(extension) : std::string();
}

}  // namespace

std::string StoredPhotoName(const std::string& cp932Path)
{
    const std::string fallback = "upload";
    // Decoded before the separators are looked for: a CP932 trail byte can equal '\'.
    const auto path = FromCp932(cp932Path);
    if (!path)
        return fallback + PlainExtension(cp932Path);
    const auto separator = path->find_last_of("\\/");
    std::string base = separator == std::string::npos ? *path : path->substr(separator + 1);
    std::erase_if(base, [](unsigned char c) { return c < 0x20 || c == 0x7F; });
    if (base.empty() || base == "." || base == "..")
        return fallback;
    return base;
}

PictureFiles::PictureFiles(std::filesystem::path folder) : folder_(std::move(folder)) {}

std::string PictureFiles::WriteNew(std::string_view bytes, std::string_view extension) const
{
    static constexpr char digits[] = "0123456789abcdef";
    std::random_device device;
    std::string base;
    for (int i = 0; i < 4; ++i) {
        auto bits = device();
        for (int j = 0; j < 8; ++j, bits >>= 4)
            base += digits[bits & 0xF];
    }
    std::string name = base + (extension.empty() ? std::string(".bin") : "." + std::string(extension));
    std::ofstream out(folder_ / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    out.close();
    if (!out)
        throw EShopStore("cannot write " + (folder_ / name).string());
    return name;
}

SavedPicture PictureFiles::Save(std::string_view bytes, std::string_view name) const
{
    SavedPicture saved;
    saved.file = WriteNew(bytes, LowerExtension(name));
    saved.thumbnail = WriteNew(MakeThumbnailJpeg(bytes), "jpg");
    return saved;
}

std::optional<std::string> PictureFiles::Read(const std::string& relativeName) const
{
    std::ifstream in(folder_ / relativeName, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string EncodeJpeg(const QImage& image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.convertToFormat(QImage::Format_RGB32).save(&buffer, "JPG", quality))
        throw EShopStore("the JPEG encoder is not available");
    return bytes.toStdString();
}

std::string MakeThumbnailJpeg(std::string_view pictureBytes)
{
    QByteArray bytes = QByteArray::fromRawData(pictureBytes.data(), qsizetype(pictureBytes.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    // A phone photo is stored turned with an EXIF orientation: its thumbnail shows it upright.
    reader.setAutoTransform(true);
    QImage picture = reader.read();
    if (picture.isNull())
        return EncodeJpeg(PlaceholderThumbnail());
    if (picture.width() > kThumbnailEdge || picture.height() > kThumbnailEdge)
        picture = picture.scaled(kThumbnailEdge, kThumbnailEdge, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (picture.hasAlphaChannel()) {
        // Transparent parts show over white, as the client's own thumbnails show them.
        QImage opaque(picture.size(), QImage::Format_RGB32);
        opaque.fill(Qt::white);
        QPainter(&opaque).drawImage(0, 0, picture);
        picture = opaque;
    }
    return EncodeJpeg(picture);
}

QImage DrawDemoScene(int seed, int width, int height)
{
    static const std::array<std::pair<QColor, QColor>, 5> skies{{
        {QColor(0x3a, 0x7b, 0xd5), QColor(0xbf, 0xe6, 0xff)},
        {QColor(0xff, 0x8c, 0x42), QColor(0xff, 0xe0, 0xa3)},
        {QColor(0x1b, 0x26, 0x4f), QColor(0x6d, 0x59, 0x8c)},
        {QColor(0x7f, 0xc8, 0xf8), QColor(0xf0, 0xfa, 0xff)},
        {QColor(0xc0, 0x39, 0x2b), QColor(0xf5, 0xb0, 0x41)},
    }};
    static const std::array<QColor, 5> grounds{QColor(0x2e, 0x8b, 0x57), QColor(0x55, 0x6b, 0x2f), QColor(0x1e, 0x6f, 0x9f),
                                               QColor(0x8b, 0x5a, 0x2b), QColor(0x3c, 0x5a, 0x3c)};
    std::mt19937 random(seed);
    auto between = [&random](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };

    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const auto& sky = skies[seed % skies.size()];
    QLinearGradient gradient(0, 0, 0, height);
    gradient.setColorAt(0, sky.first);
    gradient.setColorAt(1, sky.second);
    painter.fillRect(image.rect(), gradient);

    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xff, 0xf2, 0x9e));
    const int sun = height / 8;
    painter.drawEllipse(QPoint(between(sun, width - sun), between(sun, height / 3)), sun, sun);

    for (int layer = 0; layer < 3; ++layer) {
        QPolygonF hills;
        hills << QPointF(0, height);
        const int baseline = height / 2 + layer * height / 8;
        for (int x = 0; x <= width; x += width / 8)
            hills << QPointF(x, baseline - between(0, height / 5));
        hills << QPointF(width, height);
        painter.setBrush(grounds[(seed + layer) % grounds.size()].darker(100 + layer * 25));
        painter.drawPolygon(hills);
    }

    const int houses = between(0, 4);
    for (int i = 0; i < houses; ++i) {
        const int w = width / 12, h = height / 10;
        const int x = between(0, width - w), y = height - h - between(height / 20, height / 6);
        painter.setBrush(QColor(0xf5, 0xf0, 0xe6));
        painter.drawRect(x, y, w, h);
        painter.setBrush(QColor(0xa0, 0x30, 0x30));
        painter.drawPolygon(QPolygonF{QPointF(x - w / 8, y), QPointF(x + w / 2, y - h / 2), QPointF(x + w + w / 8, y)});
    }
    return image;
}

std::string ContentTypeForName(std::string_view name)
{
    static const std::array<std::pair<std::string_view, std::string_view>, 7> types{{
        {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"},
        {"png", "image/png"},
        {"gif", "image/gif"},
        {"bmp", "image/bmp"},
        {"ico", "image/x-icon"},
        {"wmf", "image/x-wmf"},
    }};
    const auto extension = LowerExtension(name);
    for (const auto& [known, type] : types)
        if (known == extension)
            return std::string(type);
    return "application/octet-stream";
}

}  // namespace tovari::shop

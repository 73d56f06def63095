#include "tests/shop/ShopTestSupport.h"

#include "shop/WireText.h"
#include "shop/DemoAlbum.h"

#include <QBuffer>
#include <QColor>

namespace tovari::shop::test {

void ShopTest::SetUp()
{
    ASSERT_TRUE(dataFolder_.isValid());
}

void ShopTest::StartShop(ShopOptions options)
{
    options.dataFolder = dataFolder_.path().toStdString();
    server_ = std::make_unique<ShopServer>(options);
    port_ = server_->StartOnEphemeralPort();
    ASSERT_GT(port_, 0);
}

void ShopTest::StopShop()
{
    if (server_)
        server_->Stop();
    server_.reset();
}

httplib::Result ShopTest::Get(const std::string& path, const httplib::Headers& headers)
{
    httplib::Client client("127.0.0.1", port_);
    client.set_url_encode(false);
    return client.Get(path.c_str(), headers);
}

httplib::Result ShopTest::PostMultipart(const std::string& path, const std::string& body, const std::string& boundary)
{
    httplib::Client client("127.0.0.1", port_);
    client.set_url_encode(false);
    return client.Post(path.c_str(), body, ("multipart/form-data; boundary=" + boundary).c_str());
}

std::string ShopTest::Text(const std::string& path, const httplib::Headers& headers)
{
    auto reply = Get(path, headers);
    if (!reply) {
        ADD_FAILURE() << "no reply to " << path << ": " << httplib::to_string(reply.error());
        return {};
    }
    EXPECT_EQ(reply->status, 200) << path << ": " << reply->body;
    return reply->body;
}

std::string ShopTest::NewSession()
{
    auto sessionId = Text("/wis/wi_login.php?mode=cookie_get");
    EXPECT_EQ(sessionId.size(), 32u) << sessionId;
    return sessionId;
}

std::string ShopTest::LogInDemo()
{
    auto sessionId = NewSession();
    EXPECT_EQ(Text("/wis/wi_login.php/" + sessionId + "?email=" + kDemoEmail + "&passwd=" + kDemoPassword), "OK");
    return sessionId;
}

httplib::Result ShopTest::Upload(const std::string& sessionId, const std::string& cp932FileName, const std::string& bytes)
{
    const std::string boundary = "----tovari-test-boundary";
    return PostMultipart("/wis/wi_upload.php/" + sessionId, MultipartUploadBody(boundary, cp932FileName, bytes), boundary);
}

std::vector<FolderLine> ShopTest::FolderList(const std::string& sessionId)
{
    const auto lines = ReplyLines(Text("/wis/wi_folder.php/" + sessionId + "?mode=list"));
    std::vector<FolderLine> folders;
    for (std::size_t k = 1; k < lines.size(); ++k) {
        const auto fields = ReplyFields(lines[k]);
        if (fields.size() != 3) {
            ADD_FAILURE() << "folder line " << k << " has " << fields.size() << " fields: " << lines[k];
            break;
        }
        folders.push_back({std::stoll(fields[0]), std::stoi(fields[1]), FromCp932(fields[2]).value_or("?")});
    }
    return folders;
}

std::vector<PhotoLine> ShopTest::PhotoList(const std::string& sessionId, std::int64_t folderId)
{
    std::vector<PhotoLine> photos;
    for (const auto& line : ReplyLines(Text("/wis/wi_folder.php/" + sessionId + "?mode=img&id=" + std::to_string(folderId)))) {
        const auto fields = ReplyFields(line);
        if (fields.size() != 3) {
            ADD_FAILURE() << "photo line has " << fields.size() << " fields: " << line;
            break;
        }
        photos.push_back({std::stoi(fields[0]), std::stoll(fields[1]), FromCp932(fields[2]).value_or("?")});
    }
    return photos;
}

std::int64_t ShopTest::FolderIdByName(const std::string& sessionId, const std::string& name)
{
    for (const auto& folder : FolderList(sessionId))
        if (folder.name == name)
            return folder.id;
    ADD_FAILURE() << "no folder " << name;
    return -1;
}

std::vector<std::string> ReplyLines(const std::string& body)
{
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] == '\r' || body[i] == '\n') {
            lines.push_back(line);
            line.clear();
            if (body[i] == '\r' && i + 1 < body.size() && body[i + 1] == '\n')
                ++i;
        } else {
            line += body[i];
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

std::vector<std::string> ReplyFields(const std::string& line)
{
    static const std::string separator = "<!--SEP-->";
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t at; (at = line.find(separator, start)) != std::string::npos; start = at + separator.size())
        fields.push_back(line.substr(start, at - start));
    if (start < line.size())
        fields.push_back(line.substr(start));
    return fields;
}

std::string PercentEncodeEveryByte(std::string_view bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : bytes) {
        encoded += '%';
        encoded += digits[c >> 4];
        encoded += digits[c & 0xF];
    }
    return encoded;
}

std::string MultipartUploadBody(const std::string& boundary, const std::string& cp932FileName, const std::string& bytes)
{
    return "--" + boundary + "\r\nContent-Disposition: form-data; name=\"mode\"\r\n\r\nupload\r\n--" + boundary
        + "\r\nContent-Disposition: form-data; name=\"file1\"; filename=\"" + cp932FileName
        + "\"\r\nContent-Type: image/jpeg\r\nContent-Transfer-Encoding: binary\r\n\r\n" + bytes + "\r\n--" + boundary
        + "--\r\n";
}

std::string MakeJpeg(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(0x20, 0x80, 0xc0));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG");
    return bytes.toStdString();
}

QImage DecodeImage(const std::string& bytes)
{
    return QImage::fromData(QByteArray::fromStdString(bytes), "JPG");
}

}  // namespace tovari::shop::test

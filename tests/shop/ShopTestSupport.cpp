#include "tests/shop/ShopTestSupport.h"

#include "shop/DemoAlbum.h"
#include "shop/WireText.h"

#include <QBuffer>
#include <QColor>
#include <array>

namespace tovari::shop::test {

void ShopTest::StartShop()
{
    ASSERT_TRUE(dataFolder_.isValid());
    options.dataFolder = dataFolder_.path().toStdString();
    server_ = std::make_unique<ShopServer>(options);
    port_ = server_->StartOnEphemeralPort();
    ASSERT_GT(port_, 0);
}

httplib::Result ShopTest::Get(const std::string& path, const httplib::Headers& headers)
{
    httplib::Client client("127.0.0.1", port_);
    client.set_url_encode(false);
    return client.Get(path, headers);
}

httplib::Result ShopTest::PostMultipart(const std::string& path, const std::string& body, const std::string& boundary)
{
    httplib::Client client("127.0.0.1", port_);
    client.set_url_encode(false);
    return client.Post(path, body, "multipart/form-data; boundary=" + boundary);
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
    return PostMultipart("/wis/wi_upload.php/" + sessionId, MultipartBody("b0undary", "upload", cp932FileName, bytes), "b0undary");
}

namespace {
// The lines of a list reply from the given line on, each of three fields; every line ends in CR LF.
std::vector<std::array<std::string, 3>> ReadList(const std::string& body, std::size_t firstLine)
{
    EXPECT_TRUE(body.empty() || body.ends_with("\r\n")) << body;
    std::vector<std::array<std::string, 3>> lines;
    std::size_t start = 0;
    for (std::size_t k = 0, end; (end = body.find("\r\n", start)) != std::string::npos; ++k, start = end + 2) {
        const std::string line = body.substr(start, end - start);
        const std::size_t a = line.find("<!--SEP-->"), b = line.find("<!--SEP-->", a + 10);
        if (k < firstLine)
            continue;
        if (a == std::string::npos || b == std::string::npos || line.find("<!--SEP-->", b + 10) != std::string::npos) {
            ADD_FAILURE() << "not three fields: " << line;
            break;
        }
        lines.push_back({line.substr(0, a), line.substr(a + 10, b - a - 10), FromCp932(line.substr(b + 10)).value_or("?")});
    }
    return lines;
}
}  // namespace

std::vector<ListLine> ShopTest::FolderList(const std::string& sessionId)
{
    std::vector<ListLine> folders;
    for (const auto& [id, parent, name] : ReadList(Text("/wis/wi_folder.php/" + sessionId + "?mode=list"), 1))
        folders.push_back({std::stoll(id), std::stoi(parent), name});
    return folders;
}

std::vector<ListLine> ShopTest::PhotoList(const std::string& sessionId, std::int64_t folderId)
{
    std::vector<ListLine> photos;
    const std::string path = "/wis/wi_folder.php/" + sessionId + "?mode=img&id=" + std::to_string(folderId);
    for (const auto& [kind, id, name] : ReadList(Text(path), 0))
        photos.push_back({std::stoll(id), std::stoi(kind), name});
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

Reply Answer(const httplib::Result& result)
{
    return result ? Reply(result->status, result->body) : Reply(0, httplib::to_string(result.error()));
}

std::string PercentEncodeEveryByte(std::string_view bytes)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : bytes)
        encoded += {'%', digits[c >> 4], digits[c & 0xF]};
    return encoded;
}

std::string MultipartBody(const std::string& boundary, const std::string& mode, const std::string& cp932FileName,
                          const std::string& bytes)
{
    std::string body = "--" + boundary + "\r\nContent-Disposition: form-data; name=\"mode\"\r\n\r\n" + mode + "\r\n";
    if (!cp932FileName.empty())
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"file1\"; filename=\"" + cp932FileName +
                "\"\r\nContent-Type: image/jpeg\r\nContent-Transfer-Encoding: binary\r\n\r\n" + bytes + "\r\n";
    return body + "--" + boundary + "--\r\n";
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

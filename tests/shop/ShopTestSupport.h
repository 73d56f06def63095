#pragma once

#include "shop/ShopServer.h"

#include <QImage>
#include <QTemporaryDir>
#include <cstdint>
#include <gtest/gtest.h>
#include <httplib.h>
#include <memory>
#include <string>
#include <vector>

namespace tovari::shop::test {

// "デモ太郎" as CP932 bytes, written out so that the check does not lean on the shop's converter.
inline const std::string kDemoNameCp932 = "\x83\x66\x83\x82\x91\xBE\x98\x59";

// One line of a folder list (id, parent position, name) or a photo list (id, kind, name); names in UTF-8.
struct ListLine {
    std::int64_t id = 0;
    int number = 0;
    std::string name;
};

// A shop on an ephemeral loopback port over a data folder that lives as long as the test; a fixture
// changes options before SetUp.
class ShopTest : public ::testing::Test {
protected:
    void SetUp() override { StartShop(); }
    void StartShop();
    void StopShop() { server_.reset(); }
    ShopServer& Server() { return *server_; }

    // Paths go out byte for byte, as the caller percent-encoded them.
    httplib::Result Get(const std::string& path, const httplib::Headers& headers = {});
    httplib::Result PostMultipart(const std::string& path, const std::string& body, const std::string& boundary);
    // The body of a 200 reply; a failed test otherwise.
    std::string Text(const std::string& path, const httplib::Headers& headers = {});

    std::string NewSession();  // request 2
    std::string LogInDemo();   // request 2, then request 1 with the demo credentials
    httplib::Result Upload(const std::string& sessionId, const std::string& cp932FileName, const std::string& bytes);
    std::string OrderPage(const std::string& sessionId) { return Text("/wis/order.php?mode=select&sid=" + sessionId); }

    std::vector<ListLine> FolderList(const std::string& sessionId);
    std::vector<ListLine> PhotoList(const std::string& sessionId, std::int64_t folderId);
    std::int64_t FolderIdByName(const std::string& sessionId, const std::string& name);

    ShopOptions options;
    QTemporaryDir dataFolder_;
    int port_ = 0;

private:
    std::unique_ptr<ShopServer> server_;
};

// A reply's status and body; status 0 and the error when no reply came.
using Reply = std::pair<int, std::string>;
Reply Answer(const httplib::Result& result);

std::string PercentEncodeEveryByte(std::string_view bytes);
std::string MultipartBody(const std::string& boundary, const std::string& mode, const std::string& cp932FileName = {},
                          const std::string& bytes = {});
std::string MakeJpeg(int width, int height);
QImage DecodeImage(const std::string& bytes);

}  // namespace tovari::shop::test

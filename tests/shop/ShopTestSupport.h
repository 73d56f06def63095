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

struct FolderLine {
    std::int64_t id = 0;
    int parentIndex = 0;
    std::string name;  // UTF-8
};

struct PhotoLine {
    int kind = 0;
    std::int64_t id = 0;
    std::string name;  // UTF-8
};

// A shop on an ephemeral loopback port over a data folder that lives as long as the test.
class ShopTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override { StopShop(); }

    // dataFolder is filled in; other options are the caller's.
    void StartShop(ShopOptions options = {});
    void StopShop();
    ShopServer& Server() { return *server_; }

    // Paths go out byte for byte, as the caller percent-encoded them.
    httplib::Result Get(const std::string& path, const httplib::Headers& headers = {});
    httplib::Result PostMultipart(const std::string& path, const std::string& body, const std::string& boundary);
    // The body of a 200 reply; a failed test otherwise.
    std::string Text(const std::string& path, const httplib::Headers& headers = {});

    std::string NewSession();        // request 2
    std::string LogInDemo();         // request 2, then request 1 with the demo credentials
    httplib::Result Upload(const std::string& sessionId, const std::string& cp932FileName, const std::string& bytes);

    std::vector<FolderLine> FolderList(const std::string& sessionId);
    std::vector<PhotoLine> PhotoList(const std::string& sessionId, std::int64_t folderId);
    std::int64_t FolderIdByName(const std::string& sessionId, const std::string& name);

    QTemporaryDir dataFolder_;
    int port_ = 0;

private:
    std::unique_ptr<ShopServer> server_;
};

// Line and field splitting as the client does it.
std::vector<std::string> ReplyLines(const std::string& body);
std::vector<std::string> ReplyFields(const std::string& line);

std::string PercentEncodeEveryByte(std::string_view bytes);
std::string MultipartUploadBody(const std::string& boundary, const std::string& cp932FileName, const std::string& bytes);
std::string MakeJpeg(int width, int height);
QImage DecodeImage(const std::string& bytes);

}  // namespace tovari::shop::test

#include "shop/DemoAlbum.h"

#include <vector>

namespace tovari::shop {

namespace {

struct DemoPhoto {
    const char* name;
    int width = kDemoPhotoWidth;
    int height = kDemoPhotoHeight;
};

struct DemoFolder {
    const char* name;
    int parent;  // index into the table, -1 for the top of the album
    std::vector<DemoPhoto> photos;
};

// Four levels deep, with upright, square and small pictures among the landscapes, so that thumbnails
// of every shape (and one smaller than a list cell) turn up.
const std::vector<DemoFolder>& DemoFolders()
{
    static const std::vector<DemoFolder> folders{
        {"家族", -1, {{"IMG_0001.jpg"}, {"IMG_0002.jpg"}}},
        {"2007年 夏", 0, {{"IMG_0101.jpg"}, {"IMG_0102.jpg"}, {"花火大会.jpg", 800, 1200}, {"IMG_0104.jpg"}}},
        {"海水浴", 1,
         {{"海の家.jpg"}, {"IMG_0111.jpg"}, {"IMG_0112.jpg"}, {"砂のお城.jpg", 900, 900}, {"IMG_0114.jpg"},
          {"IMG_0115.jpg"}}},
        {"夕焼け", 2, {{"夕日.jpg"}, {"灯台.jpg", 600, 900}, {"IMG_0123.jpg"}}},
        {"誕生日", 0, {{"ケーキ.jpg"}, {"ろうそく.jpg", 800, 1200}, {"小さな写真.jpg", 80, 60}}},
        {"旅行", -1, {{"IMG_0201.jpg"}, {"東京タワー.jpg", 800, 1200}}},
        {"京都", 5,
         {{"金閣寺.jpg"}, {"清水寺.jpg"}, {"IMG_0211.jpg"}, {"IMG_0212.jpg"}, {"IMG_0213.jpg"}, {"五重塔.jpg", 700, 1050}}},
        {"北海道", 5, {{"雪まつり.jpg"}, {"IMG_0221.jpg"}, {"IMG_0222.jpg"}, {"IMG_0223.jpg", 1000, 1000}}},
        {"ペット", -1,
         {{"IMG_0301.jpg"}, {"IMG_0302.jpg"}, {"猫.jpg", 800, 1200}, {"犬.jpg"}, {"IMG_0305.jpg"}, {"IMG_0306.jpg"},
          {"金魚.jpg", 90, 70}, {"IMG_0308.jpg"}}},
    };
    return folders;
}

}  // namespace

bool SeedDemoAlbum(Store& store, const PictureFiles& files)
{
    if (store.HasMembers())
        return false;
    const auto memberId = store.AddMember(kDemoEmail, kDemoPassword, kDemoDisplayName);
    std::vector<std::int64_t> folderIds;
    int seed = 0;
    for (const auto& folder : DemoFolders()) {
        std::optional<std::int64_t> parent;
        if (folder.parent >= 0)
            parent = folderIds.at(folder.parent);
        folderIds.push_back(store.AddFolder(memberId, parent, folder.name));
        for (const DemoPhoto& photo : folder.photos) {
            auto saved = files.Save(EncodeJpeg(DrawDemoScene(seed++, photo.width, photo.height)), photo.name);
            store.AddPhoto(folderIds.back(), Photo{0, folderIds.back(), photo.name, saved.file, saved.thumbnail});
        }
    }
    return true;
}

}  // namespace tovari::shop

#include "shop/DemoAlbum.h"

#include <vector>

namespace tovari::shop {

namespace {

struct DemoFolder {
    const char* name;
    int parent;  // index into the table, -1 for the top of the album
    std::vector<const char*> photos;
};

const std::vector<DemoFolder>& DemoFolders()
{
    static const std::vector<DemoFolder> folders{
        {"家族", -1, {"IMG_0001.jpg", "IMG_0002.jpg"}},
        {"2007年 夏", 0, {"IMG_0101.jpg", "IMG_0102.jpg"}},
        {"海水浴", 1, {"海の家.jpg", "IMG_0111.jpg", "IMG_0112.jpg"}},
        {"誕生日", 0, {"ケーキ.jpg"}},
        {"旅行", -1, {"IMG_0201.jpg"}},
        {"京都", 4, {"金閣寺.jpg", "IMG_0211.jpg", "IMG_0212.jpg"}},
        {"ペット", -1, {"IMG_0301.jpg", "IMG_0302.jpg"}},
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
        for (const char* name : folder.photos) {
            auto saved = files.Save(EncodeJpeg(DrawDemoScene(seed++, kDemoPhotoWidth, kDemoPhotoHeight)), name);
            store.AddPhoto(folderIds.back(), Photo{0, folderIds.back(), name, saved.file, saved.thumbnail});
        }
    }
    return true;
}

}  // namespace tovari::shop

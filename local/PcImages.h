#pragma once

#include <QString>
#include <cstdint>
#include <vector>

namespace tovari {

// One entry of the local folder listing; entry k is list item k.
struct TPcImages {
    QString FileName;
    QString FolderPath;
    std::int32_t ImageIndex = -1;
    bool ThumbTried = false;
    bool Loadable = false;
};

using TPcImageArray = std::vector<TPcImages>;

}  // namespace tovari

#pragma once

#include "shop/Store.h"

#include <string>
#include <vector>

namespace tovari::shop {

inline constexpr const char* kFieldSeparator = "<!--SEP-->";
inline constexpr const char* kLineEnd = "\r\n";
inline constexpr int kPhotoLine = 1;
inline constexpr int kFolderLine = 2;

// A header line, then one line per folder in depth-first pre-order: id, the position of the
// parent in that same order (0 being the album's top, which the client adds itself), name.
std::string FormatFolderList(const std::vector<Folder>& folders);

// The sub-folders of a folder as lines of kind 2, then its photos as lines of kind 1.
std::string FormatPhotoList(const std::vector<Folder>& subfolders, const std::vector<Photo>& photos);

}  // namespace tovari::shop

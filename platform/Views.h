#pragma once

namespace tovari {

// The main window's tabs, which are also the indexes of its four views.
inline constexpr int kLocalTab = 0;
inline constexpr int kOrderTab = 1;
inline constexpr int kFullSizeTab = 2;
inline constexpr int kAlbumTab = 3;

// The guide's pages that the program moves it to as an order goes on (page 0 is the first step).
inline constexpr int kGuideFolderListed = 1;
inline constexpr int kGuidePhotosSelected = 2;
inline constexpr int kGuidePhotosSent = 3;

}  // namespace tovari

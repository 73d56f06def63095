#pragma once

#include "shop/Pictures.h"
#include "shop/Store.h"

namespace tovari::shop {

inline constexpr const char* kDemoEmail = "demo@tovari.example";
inline constexpr const char* kDemoPassword = "demo-pass";
inline constexpr const char* kDemoDisplayName = "デモ太郎";

inline constexpr int kDemoPhotoWidth = 1200;
inline constexpr int kDemoPhotoHeight = 800;

// Makes the demo member with a small nested album, unless the store has members already.
// Returns true when it made them.
bool SeedDemoAlbum(Store& store, const PictureFiles& files);

}  // namespace tovari::shop

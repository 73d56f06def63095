#include "local/ImgCache.h"

#include <algorithm>

namespace tovari {

TImageListCache* TImgCache::FindByItem(std::int32_t item)
{
    for (auto& s : slots_)
        if (s->ItemIndex == item)
            return s.get();
    return nullptr;
}

std::int32_t TImgCache::MaxUseOrder() const
{
    std::int32_t best = 0;
    for (const auto& s : slots_)
        best = std::max(best, s->UseOrder);
    return best;
}

std::int32_t TImgCache::AddSlot(std::int32_t item, std::int32_t imageListIndex, std::int32_t useOrder)
{
    slots_.push_back(std::make_unique<TImageListCache>(TImageListCache{imageListIndex, item, useOrder}));
    return SlotCount() - 1;
}

}  // namespace tovari

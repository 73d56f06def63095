#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace tovari {

// Which image-list slot holds which listing entry's thumbnail.
struct TImageListCache {
    std::int32_t ImageListIndex = 0;
    std::int32_t ItemIndex = 0;
    std::int32_t UseOrder = 0;
};

// The slot cache of the local thumbnails, in the order the slots were added.
class TImgCache {
public:
    TImageListCache* FindByItem(std::int32_t item);
    std::int32_t MaxUseOrder() const;
    std::int32_t AddSlot(std::int32_t item, std::int32_t imageListIndex, std::int32_t useOrder);
    std::int32_t SlotCount() const { return std::int32_t(slots_.size()); }
    void ClearSlots() { slots_.clear(); }
    TImageListCache& Slot(std::int32_t position) { return *slots_[std::size_t(position)]; }

private:
    std::vector<std::unique_ptr<TImageListCache>> slots_;
};

}  // namespace tovari

// The local-memory handles shared by the host and the plug-ins. Handles are checked against the set of
// live blocks, so a plug-in that hands back garbage cannot make the host read or free foreign memory.
#define TOVARI_LOCALMEM_BUILD
#include "tovari_spi.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <sys/mman.h>
#include <unordered_map>

namespace {

// Pixel blocks run to tens of megabytes and are written once from start to end. Asking for huge pages
// turns thousands of first-touch page faults into a few, which on virtual machines is most of the cost
// of taking the memory at all. The advice may be refused; the block works either way.
void* Allocate(size_t bytes, bool zero)
{
    constexpr size_t kHugePage = size_t(2) << 20;
    if (bytes < 4 * kHugePage)
        return zero ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
    if (bytes > SIZE_MAX - kHugePage)
        return nullptr;
    const size_t rounded = (bytes + kHugePage - 1) & ~(kHugePage - 1);
    void* data = nullptr;
    if (posix_memalign(&data, kHugePage, rounded) != 0)
        return nullptr;
    madvise(data, rounded, MADV_HUGEPAGE);
    if (zero)
        std::memset(data, 0, bytes);
    return data;
}

struct Block {
    void* data;
    size_t size;
    int locks;
};

struct Blocks {
    std::mutex mutex;
    std::unordered_map<HLOCAL, Block> live;
    uintptr_t next = 1;
    size_t liveBytes = 0;
    size_t peakBytes = 0;
};

Blocks& Table()
{
    // Never destroyed: plug-ins unloaded late may still free their blocks.
    static Blocks* blocks = new Blocks;
    return *blocks;
}

}  // namespace

extern "C" {

HLOCAL LocalAlloc(unsigned int flags, size_t bytes)
{
    void* data = Allocate(bytes, (flags & LMEM_ZEROINIT) != 0);
    if (!data)
        return nullptr;
    Blocks& t = Table();
    std::lock_guard<std::mutex> lock(t.mutex);
    try {
        // Handles are small numbers, never addresses: nothing outside this table can pass for one.
        HLOCAL handle = reinterpret_cast<HLOCAL>(t.next++);
        t.live.emplace(handle, Block{data, bytes, 0});
        t.liveBytes += bytes;
        t.peakBytes = std::max(t.peakBytes, t.liveBytes);
        return handle;
    } catch (const std::bad_alloc&) {
        std::free(data);
        return nullptr;
    }
}

void* LocalLock(HLOCAL handle)
{
    Blocks& t = Table();
    std::lock_guard<std::mutex> lock(t.mutex);
    const auto it = t.live.find(handle);
    if (it == t.live.end())
        return nullptr;
    ++it->second.locks;
    return it->second.data;
}

int LocalUnlock(HLOCAL handle)
{
    Blocks& t = Table();
    std::lock_guard<std::mutex> lock(t.mutex);
    const auto it = t.live.find(handle);
    if (it == t.live.end() || it->second.locks == 0)
        return 0;
    return --it->second.locks > 0;
}

HLOCAL LocalFree(HLOCAL handle)
{
    if (!handle)
        return nullptr;
    Blocks& t = Table();
    void* data = nullptr;
    {
        std::lock_guard<std::mutex> lock(t.mutex);
        const auto it = t.live.find(handle);
        if (it == t.live.end())
            return handle;
        data = it->second.data;
        t.liveBytes -= it->second.size;
        t.live.erase(it);
    }
    std::free(data);
    return nullptr;
}

size_t LocalSize(HLOCAL handle)
{
    Blocks& t = Table();
    std::lock_guard<std::mutex> lock(t.mutex);
    const auto it = t.live.find(handle);
    return it == t.live.end() ? 0 : it->second.size;
}

void LocalStatistics(size_t* liveBlocks, size_t* liveBytes, size_t* peakBytes)
{
    Blocks& t = Table();
    std::lock_guard<std::mutex> lock(t.mutex);
    if (liveBlocks)
        *liveBlocks = t.live.size();
    if (liveBytes)
        *liveBytes = t.liveBytes;
    if (peakBytes)
        *peakBytes = t.peakBytes;
    t.peakBytes = t.liveBytes;
}

}  // extern "C"

#include "shop/AlbumListing.h"

#include <map>
#include <set>

namespace tovari::shop {

namespace {

// A name must not break the line or field structure of a reply.
std::string WireField(std::string text)
{
    for (std::size_t at; (at = text.find(kFieldSeparator)) != std::string::npos;)
        text.erase(at, std::string_view(kFieldSeparator).size());
    for (char& c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
    return text;
}

std::string Line(std::int64_t first, std::int64_t second, const std::string& name)
{
    return std::to_string(first) + kFieldSeparator + std::to_string(second) + kFieldSeparator + WireField(name) + kLineEnd;
}

}  // namespace

std::string FormatFolderList(const std::vector<Folder>& folders)
{
    std::map<std::optional<std::int64_t>, std::vector<const Folder*>> children;
    for (const auto& folder : folders)
        children[folder.parentId].push_back(&folder);

    std::string reply = std::string("OK") + kLineEnd;
    std::set<std::int64_t> listed;
    int position = 0;
    // Each entry: the folder and the position its parent got in the listing.
    std::vector<std::pair<const Folder*, int>> pending;
    auto pushChildren = [&](std::optional<std::int64_t> parent, int parentPosition) {
        auto found = children.find(parent);
        if (found == children.end())
            return;
        for (auto it = found->second.rbegin(); it != found->second.rend(); ++it)
            pending.emplace_back(*it, parentPosition);
    };
    pushChildren(std::nullopt, 0);
    while (!pending.empty()) {
        auto [folder, parentPosition] = pending.back();
        pending.pop_back();
        if (!listed.insert(folder->id).second)
            continue;
        reply += Line(folder->id, parentPosition, folder->name);
        pushChildren(folder->id, ++position);
    }
    return reply;
}

std::string FormatPhotoList(const std::vector<Folder>& subfolders, const std::vector<Photo>& photos)
{
    std::string reply;
    for (const auto& folder : subfolders)
        reply += Line(kFolderLine, folder.id, folder.name);
    for (const auto& photo : photos)
        reply += Line(kPhotoLine, photo.id, photo.name);
    return reply;
}

}  // namespace tovari::shop

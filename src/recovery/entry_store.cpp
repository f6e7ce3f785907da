#include "recovery/entry_store.h"

#include <limits>
#include <unordered_map>

namespace quarnel {

std::uint32_t EntryStore::add(EntryId locator, std::uint32_t parent) {
  const EntryView& s = source_;
  Node n{};
  n.locator = locator;
  n.parent = parent;
  const std::string name = s.name(locator);
  n.nameOffset = names_.size();
  n.nameLength = static_cast<std::uint16_t>(std::min<std::size_t>(name.size(), 0xFFFF));
  names_.insert(names_.end(), name.begin(), name.begin() + n.nameLength);
  const bool folder = s.isFolder(locator);
  n.size = s.size(locator);
  const Instant m = s.modifiedTime(locator), a = s.accessedTime(locator);
  n.modifiedSeconds = m.seconds;
  n.modifiedNanos = m.nanos;
  n.accessedSeconds = a.seconds;
  n.accessedNanos = a.nanos;
  const bool folderForSaving = s.isFolderForSaving(locator);
  n.flags = static_cast<std::uint8_t>((folder ? kFolder : 0) | (s.deleted(locator) ? kDeleted : 0) |
                                      (folderForSaving ? kFolderForSaving : 0) |
                                      (s.isFileForSaving(locator) ? kFileForSaving : 0) |
                                      (s.descendWhenSaving(locator) ? kDescend : 0) |
                                      (s.writeWhenSaving(locator) ? kWrite : 0) |
                                      (m.valid ? kModifiedValid : 0) | (a.valid ? kAccessedValid : 0));
  nodes_.push_back(n);
  return static_cast<std::uint32_t>(nodes_.size() - 1);
}

std::unique_ptr<EntryStore> EntryStore::build(EntryView& source) {
  std::unique_ptr<EntryStore> store(new EntryStore(source));
  EntryStore& st = *store;
  st.topLevelText_ = source.topLevelText();
  std::unordered_map<EntryId, std::uint32_t> ids;  // the parser's reference → ours
  constexpr auto kNone = std::numeric_limits<std::uint32_t>::max();
  ids.emplace(source.root(), st.add(source.root(), kNone));
  // Breadth first: an entry linked from several folders is stored once, where it is first
  // met; the links themselves are kept in every folder, in their order.
  for (std::size_t at = 0; at < st.nodes_.size(); ++at) {
    const std::vector<EntryId> kids = source.children(st.nodes_[at].locator);
    st.nodes_[at].firstChild = static_cast<std::uint32_t>(st.childIds_.size());
    st.nodes_[at].childCount = static_cast<std::uint32_t>(kids.size());
    for (EntryId k : kids) {
      auto [it, added] = ids.emplace(k, 0);
      if (added) it->second = st.add(k, static_cast<std::uint32_t>(at));
      st.childIds_.push_back(it->second);
    }
  }
  st.nodes_.shrink_to_fit();
  st.childIds_.shrink_to_fit();
  st.names_.shrink_to_fit();
  return store;
}

std::vector<EntryId> EntryStore::children(EntryId folder) const {
  const auto ids = childIds(folder);
  return {ids.begin(), ids.end()};
}

std::span<const std::uint32_t> EntryStore::childIds(EntryId folder) const {
  if (!valid(folder)) return {};
  const Node& n = node(folder);
  return std::span<const std::uint32_t>(childIds_).subspan(n.firstChild, n.childCount);
}

EntryId EntryStore::parent(EntryId e) const {
  if (!valid(e) || node(e).parent == std::numeric_limits<std::uint32_t>::max()) return kNoEntry;
  return node(e).parent;
}

std::string_view EntryStore::nameView(EntryId e) const {
  if (!valid(e)) return {};
  return std::string_view(names_.data() + node(e).nameOffset, node(e).nameLength);
}

Instant EntryStore::modifiedTime(EntryId e) const {
  if (!valid(e)) return {};
  return {node(e).modifiedSeconds, node(e).modifiedNanos, flag(e, kModifiedValid)};
}

Instant EntryStore::accessedTime(EntryId e) const {
  if (!valid(e)) return {};
  return {node(e).accessedSeconds, node(e).accessedNanos, flag(e, kAccessedValid)};
}

}  // namespace quarnel

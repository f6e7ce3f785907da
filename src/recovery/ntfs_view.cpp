#include "recovery/ntfs_view.h"

#include "platform/text.h"

namespace quarnel {

NtfsView::NtfsView(ntfs& fs) : fs_(fs) {
  const auto n = static_cast<EntryId>(fs_.entryList.size());
  // Without a root record the volume item itself stands in, one past the last entry.
  root_ = fs_.validIndex(fs_.rootIndex) ? fs_.rootIndex : n;

  std::vector<std::vector<EntryId>> lists(static_cast<std::size_t>(n) + 1);
  std::vector<bool> seen(static_cast<std::size_t>(n) + 1);
  seen[root_] = true;
  std::vector<EntryId> pending{root_};
  while (!pending.empty()) {
    const EntryId folder = pending.back();
    pending.pop_back();
    std::vector<EntryId> chain;
    if (folder == root_) {
      chain = fs_.topLevelEntries();
      // The parser's links take 0 for "none", so record 0, $MFT itself, is never linked; it
      // belongs first under the root like every other metadata file.
      if (root_ == fs_.rootIndex && fs_.mode != NtfsMode::Deep && n > 0 && fs_.entryList[0].isFile() &&
          fs_.entryList[0].inUse() && fs_.entryList[0].name && fs_.entryList[0].parent == root_ &&
          !fs_.entryList[0].isDirectory())
        chain.insert(chain.begin(), 0);
    } else {
      for (EntryId c = fs_.entryList[folder].firstChild; c > 0 && c < n && !seen[c]; c = fs_.entryList[c].nextSibling)
        chain.push_back(c);
    }
    for (EntryId c : chain) {
      if (seen[c]) continue;
      seen[c] = true;
      lists[folder].push_back(c);
      if (fs_.entryList[c].isDirectory()) pending.push_back(c);
    }
  }
  // Further names go under their folders when the tree reached them and their reference
  // still names that folder; otherwise under ORPHAN_ENTRY, like any entry whose folder is lost.
  linkBase_ = n;
  for (const NtfsLinkName& link : fs_.linkNames) {
    if (!fs_.validIndex(link.record) || !seen[link.record]) continue;
    EntryId folder = link.parent;
    if (!fs_.validIndex(folder) || !seen[folder] || !fs_.entryList[folder].isDirectory() ||
        folder == fs_.orphanIndex || !fs_.sameParent(folder, link.parentSequence))
      folder = fs_.validIndex(fs_.orphanIndex) && seen[fs_.orphanIndex] ? fs_.orphanIndex : -1;
    if (folder < 0) continue;
    links_.push_back(&link);
    lists[folder].push_back(linkBase_ + static_cast<EntryId>(links_.size()));
  }
  childStart_.assign(lists.size() + 1, 0);
  for (std::size_t f = 0; f < lists.size(); ++f) childStart_[f + 1] = childStart_[f] + lists[f].size();
  childList_.reserve(childStart_.back());
  for (const auto& l : lists) childList_.insert(childList_.end(), l.begin(), l.end());
}

bool NtfsView::isEntry(EntryId e) const { return fs_.validIndex(e) || isLink(e); }

EntryId NtfsView::recordOf(EntryId e) const { return isLink(e) ? links_[e - linkBase_ - 1]->record : e; }

std::vector<EntryId> NtfsView::children(EntryId folder) const {
  if (folder < 0 || static_cast<std::size_t>(folder) + 1 >= childStart_.size()) return {};
  return {childList_.begin() + static_cast<std::ptrdiff_t>(childStart_[folder]),
          childList_.begin() + static_cast<std::ptrdiff_t>(childStart_[folder + 1])};
}

bool NtfsView::hasChildren(EntryId folder) const {
  return folder >= 0 && static_cast<std::size_t>(folder) + 1 < childStart_.size() &&
         childStart_[folder + 1] > childStart_[folder];
}

std::string NtfsView::name(EntryId e) const {
  if (auto it = renamed_.find(e); it != renamed_.end()) return it->second;
  if (isLink(e)) return utf16ToUtf8(links_[e - linkBase_ - 1]->name);
  if (!isEntry(e) || !fs_.entryList[e].name) return {};
  return utf16ToUtf8(*fs_.entryList[e].name);
}

bool NtfsView::isFolder(EntryId e) const { return e == root_ || (fs_.validIndex(e) && fs_.entryList[e].isDirectory()); }

bool NtfsView::deleted(EntryId e) const {
  e = recordOf(e);
  return fs_.validIndex(e) && e != fs_.orphanIndex && !fs_.entryList[e].inUse();
}

std::uint64_t NtfsView::size(EntryId e) const {
  if (!isEntry(e)) return 0;
  e = recordOf(e);
  std::lock_guard lock(parserLock_);
  return fs_.realSize(e);
}

EntryTexts NtfsView::texts(EntryId e) const {
  if (!isEntry(e)) return {};
  e = recordOf(e);
  std::lock_guard lock(parserLock_);
  auto t = fs_.entryTimeTexts(fs_.entryList[e]);
  return {std::move(t[0]), std::move(t[1]), std::move(t[2]), std::move(t[3])};
}

std::string NtfsView::sizeText(EntryId e) const {
  if (!isEntry(e)) return {};
  e = recordOf(e);
  std::lock_guard lock(parserLock_);
  return fs_.sizeText(e);
}

Instant NtfsView::modifiedTime(EntryId e) const {
  e = recordOf(e);
  std::lock_guard lock(parserLock_);
  return ntfsInstant(fs_.entryTimes(e).modified);
}

Instant NtfsView::accessedTime(EntryId e) const {
  e = recordOf(e);
  std::lock_guard lock(parserLock_);
  return ntfsInstant(fs_.entryTimes(e).accessed);
}

bool NtfsView::writeContent(EntryId e, ByteSink& out) {
  if (!isEntry(e)) return false;
  e = recordOf(e);
  std::lock_guard lock(parserLock_);
  return fs_.writeContent(e, out);
}

}  // namespace quarnel

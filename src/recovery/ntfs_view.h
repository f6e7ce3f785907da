// The browsing view over a parsed NTFS volume: entries are indexes into the parser's
// entryList, the tree follows its first-child and next-sibling links. A file's further
// names (hard links) are entries of their own past the parser's, each showing the same
// record under its own name and folder.
#pragma once

#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "fs/ntfs/ntfs.h"
#include "recovery/entry_view.h"

namespace quarnel {

class NtfsView : public EntryView {
 public:
  // fs must have been parsed (buildTree has run); the view keeps a reference to it.
  explicit NtfsView(ntfs& fs);

  // The root folder "." (or, without one, a stand-in whose children are the same): its
  // children are what sits under the volume item, ORPHAN_ENTRY last.
  EntryId root() const override { return root_; }
  std::vector<EntryId> children(EntryId folder) const override;
  bool hasChildren(EntryId folder) const override;

  std::string name(EntryId e) const override;
  bool isFolder(EntryId e) const override;
  bool deleted(EntryId e) const override;
  std::uint64_t size(EntryId e) const override;
  EntryTexts texts(EntryId e) const override;
  std::string sizeText(EntryId e) const override;
  Instant modifiedTime(EntryId e) const override;
  Instant accessedTime(EntryId e) const override;

  bool descendWhenSaving(EntryId e) const override { return name(e) != "."; }
  bool writeWhenSaving(EntryId e) const override { return name(e) != "$BadClus"; }
  bool writeContent(EntryId e, ByteSink& out) override;

  // Shows e under another name from now on (a recycled file's former name).
  void rename(EntryId e, std::string name) { renamed_[e] = std::move(name); }
  ntfs& parser() const { return fs_; }

 private:
  bool isEntry(EntryId e) const;
  // The parser's record an entry shows: itself, or the file a link entry names.
  EntryId recordOf(EntryId e) const;
  bool isLink(EntryId e) const { return e > linkBase_ && e - linkBase_ - 1 < static_cast<EntryId>(links_.size()); }

  ntfs& fs_;
  EntryId root_;
  // Children of every folder reachable from the root, each entry under one folder only,
  // so damaged links cannot make the tree loop: childList_[childStart_[f] .. childStart_[f + 1]).
  std::vector<std::size_t> childStart_;
  std::vector<EntryId> childList_;
  std::unordered_map<EntryId, std::string> renamed_;
  EntryId linkBase_ = 0;  // link entry k is linkBase_ + 1 + k
  std::vector<const NtfsLinkName*> links_;
  // The parser gathers extension records into its own members while it sizes or reads a
  // file, so those calls take turns.
  mutable std::mutex parserLock_;
};

}  // namespace quarnel

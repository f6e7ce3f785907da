// One volume's entries as every consumer sees them: the command line's listings, the name
// search, the save walk and the window's tree and list all read this one store, so what the
// window shows is what `ls -r` lists and what Save writes. It is built once after the parse
// from the parser's browsing view and never changes; it may be read from any thread.
//
// Per entry it keeps what a listing needs (parent, children, name, kind, deleted mark, size,
// times) compactly, names in one arena; what only a row or a save needs (the time texts, the
// size text, the saved name, the content) is asked of the parser's view through the entry's
// locator.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "recovery/entry_view.h"

namespace quarnel {

class EntryStore : public EntryView {
 public:
  // Every entry reachable from source's root, each once however often it is linked, in the
  // order of the links. source must outlive the store.
  static std::unique_ptr<EntryStore> build(EntryView& source);

  EntryId root() const override { return 0; }
  std::string topLevelText() const override { return topLevelText_; }
  std::vector<EntryId> children(EntryId folder) const override;
  bool hasChildren(EntryId folder) const override { return valid(folder) && node(folder).childCount != 0; }
  // The children without a copy.
  std::span<const std::uint32_t> childIds(EntryId folder) const;
  // The first folder that links e (kNoEntry for the root).
  EntryId parent(EntryId e) const;
  std::size_t entryCount() const { return nodes_.size(); }

  std::string name(EntryId e) const override { return std::string(nameView(e)); }
  std::string_view nameView(EntryId e) const;
  bool isFolder(EntryId e) const override { return flag(e, kFolder); }
  bool deleted(EntryId e) const override { return flag(e, kDeleted); }
  std::uint64_t size(EntryId e) const override { return valid(e) ? node(e).size : 0; }
  EntryTexts texts(EntryId e) const override { return valid(e) ? source_.texts(locator(e)) : EntryTexts{}; }
  std::string sizeText(EntryId e) const override { return valid(e) ? source_.sizeText(locator(e)) : std::string(); }
  Instant modifiedTime(EntryId e) const override;
  Instant accessedTime(EntryId e) const override;

  bool isFolderForSaving(EntryId e) const override { return flag(e, kFolderForSaving); }
  bool isFileForSaving(EntryId e) const override { return flag(e, kFileForSaving); }
  std::string savedName(EntryId e) const override { return valid(e) ? source_.savedName(locator(e)) : std::string(); }
  bool descendWhenSaving(EntryId e) const override { return flag(e, kDescend); }
  bool writeWhenSaving(EntryId e) const override { return flag(e, kWrite); }
  bool writeContent(EntryId e, ByteSink& out) override { return valid(e) && source_.writeContent(locator(e), out); }

  // The parser's own reference to the entry.
  EntryId locator(EntryId e) const { return valid(e) ? node(e).locator : kNoEntry; }
  EntryView& source() const { return source_; }

 private:
  enum Flag : std::uint8_t {
    kFolder = 1,
    kDeleted = 2,
    kFolderForSaving = 4,
    kFileForSaving = 8,
    kDescend = 16,
    kWrite = 32,
    kModifiedValid = 64,
    kAccessedValid = 128,
  };
  struct Node {  // 64 bytes
    EntryId locator;
    std::uint64_t size;
    std::int64_t modifiedSeconds, accessedSeconds;
    std::uint64_t nameOffset;  // into names_
    std::int32_t modifiedNanos, accessedNanos;
    std::uint32_t parent;
    std::uint32_t firstChild;  // into childIds_
    std::uint32_t childCount;
    std::uint16_t nameLength;
    std::uint8_t flags;
  };
  static_assert(sizeof(Node) == 64);

  explicit EntryStore(EntryView& source) : source_(source) {}
  bool valid(EntryId e) const { return e >= 0 && static_cast<std::size_t>(e) < nodes_.size(); }
  const Node& node(EntryId e) const { return nodes_[static_cast<std::size_t>(e)]; }
  bool flag(EntryId e, Flag f) const { return valid(e) && (node(e).flags & f) != 0; }
  std::uint32_t add(EntryId locator, std::uint32_t parent);

  EntryView& source_;
  std::string topLevelText_;
  std::vector<Node> nodes_;
  std::vector<std::uint32_t> childIds_;
  std::vector<char> names_;  // the UTF-8 arena; names longer than 65,535 bytes are cut
};

}  // namespace quarnel

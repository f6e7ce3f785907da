// One read-only view over the entries a parser recovered, whatever the file system: the save
// walk, the name search, the tree and list fill and the command line all go through it, so
// each behaviour exists once. The per-kind differences are answers of the adapters.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/byte_sink.h"
#include "platform/reporter.h"
#include "platform/times.h"

namespace quarnel {

using EntryId = std::int64_t;  // the parser's own reference; kNoEntry for none
inline constexpr EntryId kNoEntry = -1;

struct EntryTexts {
  std::string created, accessed, modified, attributes;
};

class EntryView {
 public:
  virtual ~EntryView() = default;

  // The folder whose children are the top level of the tree (the volume's root folder).
  virtual EntryId root() const = 0;
  // Text of the top-level tree item: empty for the volume item, "ROOT" for ext.
  virtual std::string topLevelText() const { return {}; }
  // Children in link order.
  virtual std::vector<EntryId> children(EntryId folder) const = 0;
  // Whether children(folder) would be non-empty, without building it.
  virtual bool hasChildren(EntryId folder) const { return !children(folder).empty(); }

  virtual std::string name(EntryId e) const = 0;  // UTF-8
  virtual bool isFolder(EntryId e) const = 0;     // as the tree shows it
  virtual bool deleted(EntryId e) const = 0;
  virtual std::uint64_t size(EntryId e) const = 0;
  virtual EntryTexts texts(EntryId e) const = 0;  // creation, access, modification, attributes
  virtual std::string sizeText(EntryId e) const = 0;
  // True instants, for saved files and machine-readable listings.
  virtual Instant modifiedTime(EntryId e) const = 0;
  virtual Instant accessedTime(EntryId e) const = 0;

  // Saving. The folder test for saving may be narrower than isFolder (FAT16); a child that
  // is neither a folder nor a file for saving is skipped (ext and HFS+ special records).
  virtual bool isFolderForSaving(EntryId e) const { return isFolder(e); }
  virtual bool isFileForSaving(EntryId e) const { return !isFolderForSaving(e); }
  // The name a folder or file gets on disk before it is made safe (ext and HFS+ trim it).
  virtual std::string savedName(EntryId e) const { return name(e); }
  // Whether the walk descends into a folder (NTFS never into ".").
  virtual bool descendWhenSaving(EntryId e) const { (void)e; return true; }
  // Whether a counted file is written (NTFS never writes "$BadClus").
  virtual bool writeWhenSaving(EntryId e) const { (void)e; return true; }

  // The file's content, streamed in bounded blocks; false when it could not all be read.
  virtual bool writeContent(EntryId e, ByteSink& out) = 0;
};

}  // namespace quarnel

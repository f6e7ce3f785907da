// Naming the records from their $FILE_NAME attributes and linking them into the folder
// tree, the lost ones under ORPHAN_ENTRY.
#include <algorithm>
#include <cstdio>

#include "fs/ntfs/ntfs.h"
#include "platform/text.h"

namespace quarnel {
namespace {

using namespace ntfs_format;

constexpr std::uint64_t kMaxBatchBytes = 4 * 1048576;
// Deep mode stops opening new folders under ORPHAN_ENTRY after this many.
constexpr std::int64_t kDeepFolderLimit = 100000;

}  // namespace

bool ntfs::parseRecord(std::int64_t i) {
  if (!validIndex(i)) return false;
  std::vector<std::byte> raw(recordSize_);
  const std::uint64_t position = entryList[i].position;
  if (!reachable(position)) return false;
  readBytes(position, raw);
  return parseRecordFrom(i, raw);
}

bool ntfs::parseRecordFrom(std::int64_t i, ByteSpan raw) {
  std::vector<std::byte> record(recordSize_, std::byte{0});
  std::copy_n(raw.begin(), std::min(raw.size(), record.size()), record.begin());
  const std::size_t whole = ntfs_format::applyFixup(record);
  const RecordHeader header = RecordHeader::decode(record);
  if (header.isFile()) {
    ++fixupCheck.records;
    if (whole < record.size()) ++fixupCheck.torn;
  }
  // Only the sectors before a torn one are believed; a record torn in its first sector
  // tells nothing.
  if (whole == 0) return true;
  const ByteSpan sound = ByteSpan(record).first(whole);
  const std::vector<AttributeHeader> attributes = walkAttributes(sound, header.firstAttribute);
  NtfsEntryRecord& e = entryList[i];
  // An extension record only carries attributes of its base file.
  if (header.isExtension()) return true;

  // Every long name is a name of the file (hard links); a DOS name only stands in for a
  // missing long one, never a link of its own.
  std::vector<FileNameContent> longNames;
  std::optional<FileNameContent> dosName;
  const auto consider = [&](FileNameContent fn) {
    if (fn.directory()) e.kind = 'D';
    if (fn.nameLength == 255 || !fn.nameFits) return;
    if (fn.dosOnly()) {
      if (!dosName) dosName = std::move(fn);
      return;
    }
    for (const FileNameContent& n : longNames)
      if (n.parent == fn.parent && n.name == fn.name) return;
    longNames.push_back(std::move(fn));
  };
  for (const AttributeHeader& a : attributes)
    if (a.type == kFileName && !a.nonResident && a.offset + a.contentOffset < sound.size())
      consider(FileNameContent::decode(a.contentToRecordEnd(sound)));
  // Names the attribute list placed in extension records (all of them, when the base
  // record holds none).
  if (hasAttribute(attributes, kAttributeList) && (mode != NtfsMode::Deep || (longNames.empty() && !dosName))) {
    const LoadedRecord self{header, e.position, record, attributes, false};
    for (FileNameContent& fn : extensionNames(self, baseOf(i, header))) consider(std::move(fn));
  }
  if (longNames.empty() && !dosName) return true;
  const FileNameContent& chosen = longNames.empty() ? *dosName : longNames.front();
  e.name = chosen.name;
  e.recordFlags = header.flags;
  e.sequence = header.sequence;
  e.allocatedSize = chosen.allocatedSize;
  e.parent = chosen.parent;
  e.parentSequence = chosen.parentSequence;
  e.summary = summarize(sound, attributes);
  if (e.kind != 'D' && mode != NtfsMode::Deep)
    for (std::size_t k = 1; k < longNames.size(); ++k)
      linkNames.push_back({i, longNames[k].parent, longNames[k].parentSequence, std::move(longNames[k].name)});
  linkParsed(i);
  return true;
}

bool ntfs::sameParent(std::int64_t p, std::uint16_t parentSequence) const {
  if (!validIndex(p) || parentSequence == 0) return true;
  const NtfsEntryRecord& parent = entryList[p];
  if (parent.sequence == 0 || parent.sequence == parentSequence) return true;
  return !parent.inUse() && static_cast<std::uint16_t>(parentSequence + 1) == parent.sequence;
}

void ntfs::orphanByParentSequence() {
  const auto n = static_cast<std::int64_t>(entryList.size());
  std::vector<bool> seen(static_cast<std::size_t>(n));
  for (std::int64_t f = 0; f < n; ++f) {
    NtfsEntryRecord& folder = entryList[f];
    if (folder.firstChild <= 0) continue;
    std::int64_t kept = 0, last = 0;
    for (std::int64_t c = folder.firstChild; c > 0 && c < n && !seen[c];) {
      seen[c] = true;
      NtfsEntryRecord& child = entryList[c];
      const std::int64_t next = child.nextSibling;
      if (child.parent == f && c != f && !sameParent(f, child.parentSequence)) {
        // The folder's record now holds another folder: this entry's own is gone.
        child.orphan = 1;
        child.nextSibling = 0;
      } else {
        if (last == 0) kept = c;
        else entryList[last].nextSibling = c;
        last = c;
      }
      c = next;
    }
    if (last != 0) entryList[last].nextSibling = 0;
    folder.firstChild = kept;
    folder.lastChild = last;
  }
}

void ntfs::reportTornRecords() {
  if (fixupCheck.torn == 0) return;
  char share[32];
  std::snprintf(share, sizeof share, "%.1f", 100.0 * static_cast<double>(fixupCheck.torn) /
                                                 static_cast<double>(fixupCheck.records));
  std::string text = std::to_string(fixupCheck.torn) + " of " + std::to_string(fixupCheck.records) +
                     " MFT records (" + share +
                     " %) fail their update-sequence check: only their sectors before the torn one are read";
  if (fixupCheck.torn * 10 >= fixupCheck.records)
    text += "; so many point to wrong array settings: check member order, stripe size, layout and offsets";
  reporter_.warning(WarningKind::Damaged, text);
}

void ntfs::linkParsed(std::int64_t i) {
  NtfsEntryRecord& e = entryList[i];
  const std::int64_t p = e.parent;
  if (p >= 0 && p < i) {
    NtfsEntryRecord& parent = entryList[p];
    if (!parent.isDirectory()) {
      e.orphan = 1;
      return;
    }
    if (parent.firstChild == 0) parent.firstChild = parent.lastChild = i;
    linkToParent(i);
    return;
  }
  e.nextSibling = 0;
  if (!validIndex(p)) {
    e.orphan = 1;
    return;
  }
  if (entryList[p].firstChild == 0) entryList[p].firstChild = entryList[p].lastChild = i;
  linkToParent(i);
}

void ntfs::linkToParent(std::int64_t i) {
  const auto n = static_cast<std::int64_t>(entryList.size());
  if (i <= 0 || i >= n) return;
  const std::int64_t p = entryList[i].parent;
  if (!validIndex(p)) return;
  NtfsEntryRecord& parent = entryList[p];
  const std::int64_t f = p != 0 ? parent.firstChild : 0;
  if (f == 0) {
    parent.firstChild = parent.lastChild = i;
    return;
  }
  if (!validIndex(f) || !entryList[f].isFile() || f == i || p == i) return;

  // Appending at the remembered last child gives what walking the chain would.
  std::int64_t last = parent.lastChild;
  const bool tailKnown = validIndex(last) && last != 0 && entryList[last].nextSibling == 0 && entryList[last].parent == p;
  if (!tailKnown) {
    last = f;
    for (std::int64_t steps = 0; last != i && steps < n; ++steps) {
      const std::int64_t next = entryList[last].nextSibling;
      if (next == 0 || next == f || !validIndex(next)) break;
      last = next;
    }
  }
  if (last == i) return;
  entryList[last].nextSibling = i;
  parent.lastChild = i;
}

void ntfs::buildTree() {
  if (mftFound) {
    const auto n = static_cast<std::int64_t>(entryList.size());
    reporter_.progressRange(0, n);
    // Consecutive records are read together; a batch that fails is read record by record.
    const std::int64_t perBatch = std::max<std::int64_t>(static_cast<std::int64_t>(kMaxBatchBytes / recordSize_), 1);
    std::vector<std::byte> batch;
    std::int64_t batchFirst = 0, batchCount = 0;
    for (std::int64_t i = 0; i < n && !stopRequest(); ++i) {
      if (i % kStatusEvery == 0 || i + 1 == n) {
        char text[64];
        std::snprintf(text, sizeof text, "parsing MFT entry %lld...", static_cast<long long>(i));
        reporter_.status(text);
        reporter_.progressPosition(i);
      }
      const std::uint64_t position = entryList[i].position;
      if (!reachable(position)) continue;
      if (i >= batchFirst + batchCount) {
        std::int64_t j = i + 1;
        while (j < n && j - i < perBatch && entryList[j].position == position + (j - i) * recordSize_ &&
               reachable(entryList[j].position))
          ++j;
        batch.assign((j - i) * recordSize_, std::byte{0});
        if (!readBytes(position, batch) && j - i > 1)
          for (std::int64_t k = 0; k < j - i; ++k)
            readBytes(position + k * recordSize_, MutableByteSpan(batch).subspan(k * recordSize_, recordSize_));
        batchFirst = i;
        batchCount = j - i;
      }
      parseRecordFrom(i, ByteSpan(batch).subspan((i - batchFirst) * recordSize_, recordSize_));
    }
    if (mode != NtfsMode::Deep) orphanByParentSequence();
  }
  reportTornRecords();

  NtfsEntryRecord orphan;
  orphan.signature = {'F', 'I', 'L', 'E'};
  orphan.name = std::u16string(kOrphanEntryName);
  orphan.kind = 'D';
  orphanIndex = static_cast<std::int64_t>(entryList.size());
  entryList.push_back(std::move(orphan));

  rootIndex = static_cast<std::int64_t>(entryList.size());
  for (std::size_t k = 0; k < entryList.size(); ++k)
    if (entryList[k].name && *entryList[k].name == u".") {
      rootIndex = static_cast<std::int64_t>(k);
      break;
    }

  if (rootIndex > 0 && validIndex(rootIndex)) {
    NtfsEntryRecord& o = entryList[orphanIndex];
    o.parent = rootIndex;
    o.nextSibling = 0;
    o.index = static_cast<std::uint64_t>(orphanIndex);
    o.recordFlags = kRecordInUse;
    std::int64_t last = entryList[rootIndex].firstChild;
    const auto n = static_cast<std::int64_t>(entryList.size());
    if (validIndex(last) && last > 0) {
      for (std::int64_t steps = 0; steps < n; ++steps) {
        const std::int64_t next = entryList[last].nextSibling;
        if (next <= 0 || !validIndex(next)) break;
        last = next;
      }
      if (last != orphanIndex) entryList[last].nextSibling = orphanIndex;
    }
  }
  placeOrphans();
  fillTreeRoots();
}

void ntfs::placeOrphans() {
  reporter_.progressRange(0, static_cast<std::int64_t>(entryList.size()));
  if (!validIndex(orphanIndex)) return;
  if (mode == NtfsMode::Deep) {
    placeDeep();
    return;
  }
  bool first = true;
  for (std::size_t k = 0; k < entryList.size(); ++k) {
    NtfsEntryRecord& e = entryList[k];
    if (e.orphan != 1) continue;
    NtfsEntryRecord& o = entryList[orphanIndex];
    if (first) {
      e.parent = orphanIndex;
      e.nextSibling = -1;
      first = false;
    } else {
      e.nextSibling = o.firstChild;
    }
    o.firstChild = static_cast<std::int64_t>(k);
  }
}

void ntfs::placeDeep() {
  std::int64_t current = orphanIndex;
  std::int64_t folders = 0;
  // Files met before the first folder stay ahead of the folders.
  std::int64_t looseHead = 0, looseTail = 0;
  for (std::size_t k = 0; k < entryList.size(); ++k) {
    const auto idx = static_cast<std::int64_t>(k);
    NtfsEntryRecord& e = entryList[k];
    if (idx == orphanIndex || idx == rootIndex || !e.name) continue;
    e.firstChild = e.parent = e.nextSibling = 0;
    NtfsEntryRecord& o = entryList[orphanIndex];
    if (e.isDirectory() && folders <= kDeepFolderLimit) {
      if (folders == 0) {
        looseHead = o.firstChild;
        e.nextSibling = -1;
      } else {
        e.nextSibling = current;
      }
      e.parent = orphanIndex;
      o.firstChild = idx;
      current = idx;
      ++folders;
      continue;
    }
    NtfsEntryRecord& dir = entryList[current];
    if (current == orphanIndex && dir.firstChild == 0) looseTail = idx;
    e.nextSibling = dir.firstChild;
    dir.firstChild = idx;
  }
  if (folders > 0 && looseHead != 0) {
    entryList[looseTail].nextSibling = entryList[orphanIndex].firstChild;
    entryList[orphanIndex].firstChild = looseHead;
  }
}

std::vector<std::int64_t> ntfs::topLevelEntries() const {
  std::vector<std::int64_t> out;
  const bool orphanValid = validIndex(orphanIndex);
  if (!validIndex(rootIndex)) {
    // Deep mode is for volumes whose MFT start is lost, root folder record included.
    if (mode == NtfsMode::Deep && orphanValid && entryList[orphanIndex].firstChild > 0) out.push_back(orphanIndex);
    return out;
  }
  if (mode != NtfsMode::Deep) {
    std::vector<bool> seen(entryList.size());
    for (std::int64_t c = entryList[rootIndex].firstChild; c > 0 && validIndex(c) && !seen[c];
         c = entryList[c].nextSibling) {
      seen[c] = true;
      // A root parsed before any child becomes its own first child; it is not shown in itself.
      if (c != rootIndex) out.push_back(c);
    }
  }
  if (orphanValid && std::find(out.begin(), out.end(), orphanIndex) == out.end()) out.push_back(orphanIndex);
  return out;
}

bool ntfs::fillTreeRoots() {
  const std::vector<std::int64_t> items = topLevelEntries();
  // The tree the window shows is built from the entry store over the view.
  return validIndex(rootIndex) || !items.empty();
}

RecordSummary ntfs::summarize(ByteSpan record, const std::vector<AttributeHeader>& attributes) {
  return {timesFrom(record, attributes), dataInfoFrom(attributes), listMarkFrom(attributes)};
}

int ntfs::releaseNames() {
  for (std::size_t k = entryList.size(); k-- > 0;)
    if (static_cast<std::int64_t>(k) != orphanIndex) entryList[k].name.reset();
  return 1;
}

}  // namespace quarnel

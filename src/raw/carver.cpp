#include "raw/carver.h"

#include <algorithm>
#include <limits>

namespace quarnel {
namespace {

constexpr std::int64_t kSector = kSectorSize;
// An ending signature that begins in a block may run into the next one; a whole sector more
// keeps the reads sector-aligned, which the RAID disk serves without staging.
constexpr std::int64_t kLookahead = kSector;
static_assert(kLookahead >= static_cast<std::int64_t>(kMaxSignatureBytes));
constexpr std::int64_t kNoLimit = std::numeric_limits<std::int64_t>::max();

std::int64_t skipStep(std::int64_t skipSize) { return skipSize <= kSector ? kSector : skipSize / kSector * kSector; }

class CarveRun {
 public:
  CarveRun(myJpg& c, readWriteInterface& source, std::int64_t volumeBytes, Reporter& reporter,
           CarveTreeSink& tree)
      : c_(c), source_(source), volume_(volumeBytes), reporter_(reporter), tree_(tree) {}

  void run();

 private:
  void openCategories();
  void examineStart(std::int64_t block, std::int64_t blockStart, std::int64_t u, ByteSpan data);
  void searchEnds(std::size_t d, ByteSpan data, std::int64_t blockStart, std::int64_t upTo);
  void closeLeftovers(std::int64_t scannedTo);
  void record(std::size_t d, std::int64_t start, std::int64_t length, std::int64_t at);
  void activate(std::size_t d, std::int64_t searchFrom);

  myJpg& c_;
  readWriteInterface& source_;
  const std::int64_t volume_;
  Reporter& reporter_;
  CarveTreeSink& tree_;
  StartMatcher matcher_;
  std::int64_t nextStart_ = 0;          // sector starts below this are not examined (skips)
  std::vector<std::int64_t> endFrom_;   // per definition: ends are looked for from here on
  std::vector<std::size_t> active_;     // definitions with starts waiting for their end
};

void CarveRun::openCategories() {
  const TreeItem root = tree_.insertItem(0, kRawRecoveryRoot, true, false, -1);
  std::map<std::string, TreeItem> nodes;
  for (FileTypeDefinition& def : c_.definitions) {
    auto it = nodes.find(def.category);
    if (it == nodes.end()) it = nodes.emplace(def.category, tree_.insertItem(root, def.category, true, false, -1)).first;
    def.node = it->second;
  }
  tree_.expand(root);
}

void CarveRun::record(std::size_t d, std::int64_t start, std::int64_t length, std::int64_t at) {
  length = std::min(length, volume_ - start);  // nothing of a find lies past the volume
  if (length <= 0) return;
  FileTypeDefinition& def = c_.definitions[d];
  const std::int64_t count = ++c_.categoryCounts[def.category];
  tree_.setItemText(def.node, def.category + " (" + std::to_string(count) + ")");
  FoundFile f;
  f.start = start;
  f.length = length;
  f.definition = d;
  f.name = std::to_string(at) + " ." + def.extension;
  f.item = tree_.insertItem(def.node, f.name, false, false, static_cast<std::int64_t>(c_.foundFiles.size()));
  c_.foundFiles.push_back(std::move(f));
}

void CarveRun::activate(std::size_t d, std::int64_t searchFrom) {
  endFrom_[d] = searchFrom;
  if (std::find(active_.begin(), active_.end(), d) == active_.end()) active_.push_back(d);
}

void CarveRun::examineStart(std::int64_t block, std::int64_t blockStart, std::int64_t u, ByteSpan data) {
  const long slot = matcher_.firstMatch(data, static_cast<std::size_t>(u));
  if (slot < 0) return;
  const std::size_t d = c_.matchTable[static_cast<std::size_t>(slot)].definition;
  const FileTypeDefinition& def = c_.definitions[d];
  const std::int64_t p = blockStart + u;
  const std::int64_t blockEnd = blockStart + kCarveBlockBytes;
  auto& waiting = c_.pendingStarts[d];

  if (def.hasEnd() || (!def.hasSizeField() && def.approxSize <= 0)) {
    // Without an approximate size the search for a waiting start's end stops at the next
    // start of the same kind, and the file ends there.
    if (def.approxSize <= 0 && !waiting.empty()) {
      record(d, waiting.front(), p - waiting.front(), waiting.front());
      waiting.pop_front();
    }
    const bool first = waiting.empty();
    waiting.push_back(p);
    if (def.hasEnd()) {
      if (first) activate(d, p + def.startLength);
    } else {
      nextStart_ = std::min(p + skipStep(def.skipSize), blockEnd);
    }
    return;
  }
  if (!def.hasSizeField()) {
    record(d, p, def.approxSize, p);
    nextStart_ = std::min(p + skipStep(def.skipSize), blockEnd);
    return;
  }
  if (def.sizeBytes != 4) return;
  const ByteSpan sector = data.subspan(static_cast<std::size_t>(u),
                                       std::min<std::size_t>(kSector, data.size() - static_cast<std::size_t>(u)));
  const auto size = static_cast<std::int32_t>(le32(sector, static_cast<std::size_t>(def.sizeOffset)));
  if (size <= 0) return;
  std::int64_t length = size;
  if (!def.sizeIncludesHeader && def.headerSize > 0) length += def.headerSize;
  if (def.approxSize > 0) length = std::min(length, def.approxSize);
  record(d, p, length, p);
  const std::int64_t n = (u + length + 10) / kCarveBlockBytes;
  nextStart_ = n >= 1 ? (block + n + 1) * kCarveBlockBytes : p + (length / kSector + 1) * kSector;
}

void CarveRun::searchEnds(std::size_t d, ByteSpan data, std::int64_t blockStart, std::int64_t upTo) {
  const FileTypeDefinition& def = c_.definitions[d];
  const MatchSlot& slot = c_.matchTable[c_.definitions.size() + d];
  auto& waiting = c_.pendingStarts[d];
  while (!waiting.empty()) {
    const std::int64_t s = waiting.front();
    const std::int64_t from = std::max({endFrom_[d], s + def.startLength, blockStart});
    // The end must lie within the approximate size of its start, and within the volume.
    // A size from a definitions file can be anything up to INT64_MAX: past every position it
    // is no limit.
    const std::int64_t reach = def.approxSize - def.endLength + 1;
    const std::int64_t deadline = def.approxSize > 0 && reach < kNoLimit - s ? s + reach : kNoLimit;
    const std::int64_t to = std::min({upTo, deadline, volume_ - def.endLength + 1});
    if (from < to) {
      const std::size_t hit = findSlot(slot, data, static_cast<std::size_t>(from - blockStart),
                                       static_cast<std::size_t>(to - blockStart));
      if (hit != static_cast<std::size_t>(-1)) {
        const std::int64_t e = blockStart + static_cast<std::int64_t>(hit);
        waiting.pop_front();
        record(d, s, e + def.endLength - s, e);
        endFrom_[d] = e + def.endLength;
        const std::int64_t sector = e / kSector * kSector;
        const std::int64_t blockEnd = (e / kCarveBlockBytes + 1) * kCarveBlockBytes;
        nextStart_ = std::max(nextStart_, std::min(sector + skipStep(def.skipSize), blockEnd));
        continue;
      }
      endFrom_[d] = std::max(endFrom_[d], to);
    }
    if (deadline > upTo) break;
    // No end within the approximate size: the file is that long.
    waiting.pop_front();
    record(d, s, def.approxSize, s);
  }
  if (waiting.empty()) active_.erase(std::find(active_.begin(), active_.end(), d));
}

void CarveRun::closeLeftovers(std::int64_t scannedTo) {
  // A start still waiting ends at the next start of its kind, or where the scan ended.
  for (std::size_t d = 0; d < c_.definitions.size(); ++d) {
    auto& waiting = c_.pendingStarts[d];
    const std::int64_t approx = c_.definitions[d].approxSize;
    while (!waiting.empty()) {
      const std::int64_t s = waiting.front();
      waiting.pop_front();
      std::int64_t length = (waiting.empty() ? scannedTo : waiting.front()) - s;
      if (approx > 0) length = std::min(length, approx);
      record(d, s, length, s);
    }
  }
  active_.clear();
}

void CarveRun::run() {
  std::vector<MatchSlot> starts(c_.matchTable.begin(), c_.matchTable.begin() + static_cast<long>(c_.definitions.size()));
  matcher_ = StartMatcher(std::move(starts));
  endFrom_.assign(c_.definitions.size(), 0);
  openCategories();

  const std::int64_t wholeBlocks = volume_ / kCarveBlockBytes;
  const std::int64_t blocks = wholeBlocks + (volume_ % kCarveBlockBytes != 0 ? 1 : 0);
  std::vector<std::byte> buffer(static_cast<std::size_t>(std::min(volume_, kCarveBlockBytes + kLookahead)));
  reporter_.progressRange(0, wholeBlocks);
  std::int64_t scannedTo = volume_;
  std::int64_t b = 0;
  for (; b < blocks; ++b) {
    reporter_.progressPosition(b);
    const std::int64_t blockStart = b * kCarveBlockBytes;
    if (c_.job->shouldStop()) {
      scannedTo = blockStart;
      break;
    }
    const std::int64_t blockLength = std::min(kCarveBlockBytes, volume_ - blockStart);
    if (active_.empty() && blockStart + blockLength <= nextStart_) continue;  // skipped whole
    const auto readLength = static_cast<std::size_t>(std::min(blockLength + kLookahead, volume_ - blockStart));
    MutableByteSpan data(buffer.data(), readLength);
    // Bytes that cannot be read come back as zeros; the block is examined all the same.
    source_.readAt(source_.baseOffset + blockStart, data);
    for (std::int64_t u = 0; u < blockLength; u += kSector) {
      if (blockStart + u >= nextStart_) examineStart(b, blockStart, u, data);
      if (active_.empty()) continue;
      const std::int64_t upTo = blockStart + std::min(u + kSector, blockLength);
      for (std::size_t i = 0; i < active_.size();) {
        const std::size_t d = active_[i];
        searchEnds(d, data, blockStart, upTo);
        if (i < active_.size() && active_[i] == d) ++i;  // else it left the list
      }
    }
  }
  closeLeftovers(scannedTo);
  reporter_.progressPosition(b);
}

}  // namespace

FileTypeDefinition FileTypeDefinition::fromRecord(const SignatureRecord& r) {
  FileTypeDefinition d;
  d.startLength = r.startLength;
  d.endLength = r.endLength;
  d.extension = r.extensionText();
  d.sizeOffset = r.sizeOffset;
  d.sizeBytes = r.sizeBytes;
  d.headerSize = r.headerSize;
  d.sizeIncludesHeader = r.sizeIncludesHeader;
  d.approxSize = r.approxSize;
  d.skipSize = r.skipSize;
  d.category = r.categoryText();
  return d;
}

bool FileTypeDefinition::hasSizeField() const {
  if (sizeBytes < 1) return false;
  if (sizeOffset < 0) return sizeBytes != 4;  // a 4-byte field without an offset cannot be read
  return std::int64_t{sizeOffset} + sizeBytes <= kSector;
}

void myJpg::addRecords(const std::vector<SignatureRecord>& records) {
  for (const SignatureRecord& r : records) {
    SignatureEntry e;
    e.extension = r.extension;
    e.extensionLength = r.extensionLength;
    e.startSignature = r.startSignature;
    e.endSignature = r.endSignature;
    e.startLength = r.startLength;
    e.endLength = r.endLength;
    e.definition = definitions.size();
    signatureEntries.push_back(e);
    definitions.push_back(FileTypeDefinition::fromRecord(r));
  }
}

bool myJpg::carveVolume(readWriteInterface& source, std::int64_t volumeBytes, Reporter& reporter,
                        CarveTreeSink& tree) {
  foundFiles.clear();
  categoryCounts.clear();
  matchTable.assign(2 * signatureEntries.size(), MatchSlot{});
  for (std::size_t i = 0; i < signatureEntries.size(); ++i) {
    const SignatureEntry& e = signatureEntries[i];
    MatchSlot& start = matchTable[i];
    MatchSlot& end = matchTable[signatureEntries.size() + i];
    start.length = std::min<std::uint8_t>(e.startLength, kMaxSignatureBytes);
    end.length = std::min<std::uint8_t>(e.endLength, kMaxSignatureBytes);
    start.definition = end.definition = e.definition;
    start.bytes = e.startSignature;
    end.bytes = e.endSignature;
  }
  if (definitions.empty() || definitions.size() != signatureEntries.size()) {
    reporter.warning(WarningKind::Damaged, "not properly initialized");
    return false;
  }
  pendingStarts.assign(definitions.size(), {});
  CarveRun(*this, source, std::max<std::int64_t>(volumeBytes, 0), reporter, tree).run();
  reporter.finished("done..");
  return true;
}

}  // namespace quarnel

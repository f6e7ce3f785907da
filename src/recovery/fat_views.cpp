#include "recovery/fat_views.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <type_traits>

#include "fs/fat/fat16_class.h"
#include "fs/fat/fat32_class.h"
#include "fs/fat/fat64_class.h"
#include "fs/fat/fat_candidate_workers.h"
#include "recovery/recycled_names.h"

namespace quarnel {
namespace {

constexpr std::uint64_t kMiB = 1048576;
constexpr std::string_view kNoCandidate = "No File system Entry Found.Process cannot be continue...";

enum class FatKind { None, Fat16, Fat32, Exfat };

FatKind kindOf(std::string fs) {
  for (char& c : fs) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (fs == "FAT32") return FatKind::Fat32;
  if (fs == "FAT64" || fs == "EXFAT") return FatKind::Exfat;
  if (fs == "FAT16" || fs == "FAT12" || fs == "FAT") return FatKind::Fat16;
  return FatKind::None;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
std::string trimmed(std::string s, bool front) {
  while (!s.empty() && isSpace(s.back())) s.pop_back();
  std::size_t i = 0;
  while (front && i < s.size() && isSpace(s[i])) ++i;
  return s.substr(i);
}

// Status and progress go on; the workers' message boxes belong to the advanced-input page.
class StatusOnly : public Reporter {
 public:
  explicit StatusOnly(Reporter& inner) : inner_(inner) {}
  void status(std::string_view t) override { inner_.status(t); }
  void progressRange(std::int64_t lo, std::int64_t hi) override { inner_.progressRange(lo, hi); }
  void progressPosition(std::int64_t p) override { inner_.progressPosition(p); }

 private:
  Reporter& inner_;
};

template <class Record>
std::vector<EntryId> linkedChildren(const std::vector<Record>& list, EntryId folder,
                                    bool (*hidden)(const Record&)) {
  std::vector<EntryId> out;
  if (folder < 0 || static_cast<std::size_t>(folder) >= list.size()) return out;
  // The links were made by the parser, but the count still bounds the walk.
  std::int32_t i = list[static_cast<std::size_t>(folder)].firstChild;
  for (std::size_t n = 0; i > 0 && static_cast<std::size_t>(i) < list.size() && n < list.size(); ++n) {
    const Record& r = list[static_cast<std::size_t>(i)];
    if (!hidden(r)) out.push_back(i);
    i = r.nextSibling;
  }
  return out;
}

// The volume label is kept as a record, as the parsers keep it, but is no file.
bool volumeLabel(const FatEntryRecord& r) { return (r.attribute & 0x18) == 0x08; }
bool neverHidden(const ExFatEntryRecord&) { return false; }

// FAT12/16 and FAT32 records through the browsing view. A folder is saved as a folder on
// every FAT: one with the hidden or system bit set too keeps its subtree.
class FatRecordView : public EntryView {
 public:
  explicit FatRecordView(FatFamilyParser& parser) : p_(parser) {}

  EntryId root() const override { return 0; }
  std::vector<EntryId> children(EntryId f) const override { return linkedChildren(list(), f, volumeLabel); }
  std::string name(EntryId e) const override { return at(e).name; }
  bool isFolder(EntryId e) const override { return e == root() || isFatFolderAttribute(at(e).attribute); }
  bool deleted(EntryId e) const override { return at(e).deleted != 0; }
  std::uint64_t size(EntryId e) const override { return at(e).size; }
  EntryTexts texts(EntryId e) const override {
    FatEntryTexts t = p_.entryTimeTexts(at(e));
    return {t.created, t.accessed, t.modified, t.attributes};
  }
  std::string sizeText(EntryId e) const override { return p_.sizeText(at(e)); }
  Instant modifiedTime(EntryId e) const override { return fatModified(at(e)); }
  Instant accessedTime(EntryId e) const override { return fatAccessed(at(e)); }
  std::string savedName(EntryId e) const override { return trimmed(name(e), !isFolderForSaving(e)); }
  bool writeContent(EntryId e, ByteSink& out) override { return p_.writeContent(at(e), out); }

  void rename(EntryId e, const std::string& n) { p_.entries()[static_cast<std::size_t>(e)].name = n; }

 private:
  const std::vector<FatEntryRecord>& list() const { return p_.entries(); }
  const FatEntryRecord& at(EntryId e) const { return list()[static_cast<std::size_t>(e)]; }

  FatFamilyParser& p_;
};

class ExfatRecordView : public EntryView {
 public:
  explicit ExfatRecordView(Fat64Class& parser) : p_(parser) {}

  EntryId root() const override { return 0; }
  std::vector<EntryId> children(EntryId f) const override { return linkedChildren(list(), f, neverHidden); }
  std::string name(EntryId e) const override { return at(e).name; }
  bool isFolder(EntryId e) const override { return e == root() || isExfatFolderAttribute(at(e).attributes); }
  bool deleted(EntryId e) const override { return at(e).deleted(); }
  std::uint64_t size(EntryId e) const override { return at(e).validDataLength; }
  EntryTexts texts(EntryId e) const override {
    FatEntryTexts t = p_.entryTimeTexts(at(e));
    return {t.created, t.accessed, t.modified, t.attributes};
  }
  std::string sizeText(EntryId e) const override { return p_.sizeText(at(e)); }
  Instant modifiedTime(EntryId e) const override { return exfatModified(at(e)); }
  Instant accessedTime(EntryId e) const override { return exfatAccessed(at(e)); }
  std::string savedName(EntryId e) const override { return trimmed(name(e), !isFolder(e)); }
  bool writeContent(EntryId e, ByteSink& out) override { return p_.writeContent(at(e), out); }

  void rename(EntryId e, const std::string& n) { p_.entries()[static_cast<std::size_t>(e)].name = n; }

 private:
  const std::vector<ExFatEntryRecord>& list() const { return p_.entries(); }
  const ExFatEntryRecord& at(EntryId e) const { return list()[static_cast<std::size_t>(e)]; }

  Fat64Class& p_;
};

template <class Parser, class View>
class FatVolume : public ParsedVolume {
 public:
  template <class... Args>
  explicit FatVolume(Args... args) : view_(parser, args...) {}
  EntryView& view() override { return view_; }
  void releaseJob() override { parser.setJob(nullptr); }
  View& records() { return view_; }

  Parser parser;

 private:
  View view_;
};

using Fat32Volume = FatVolume<Fat32Class, FatRecordView>;
using Fat16Volume = FatVolume<Fat16Class, FatRecordView>;
using ExfatVolume = FatVolume<Fat64Class, ExfatRecordView>;

std::uint64_t recordBytes(readWriteInterface& disk, const VolumeRecord& record) {
  const auto mib = static_cast<std::uint64_t>(volumeSizeMiB(record));
  if (mib != 0) return mib * kMiB;
  const std::int64_t rest = disk.sizeSectors() - record.startSector;
  return rest > 0 ? static_cast<std::uint64_t>(rest) * 512 : 0;
}

// The volume's extent by its boot sector, which the size in whole MiB may cut short.
std::uint64_t bootExtent(const FatGeometry& g) {
  return g.dataOffset + static_cast<std::uint64_t>(g.clusterLimit - 2) * g.clusterSize;
}

int firstChoice(const std::vector<std::string>& choices) {
  return choices.empty() ? 0 : std::atoi(choices.front().c_str());
}

template <class Volume>
void restoreNames(Volume& v) {
  restoreRecycledNames(v.view(), RecycleLayout::Flat,
                       [&](EntryId e, const std::string& name) { v.records().rename(e, name); });
}

template <class Volume, class Parser>
void attach(Volume&, Parser& p, readWriteInterface& disk, const VolumeRecord& record, const ParseOptions& options,
            Reporter& reporter) {
  p.setReporter(&reporter);
  p.setJob(options.job);
  p.attachSource(disk, record.startSector);
  p.setVolumeSize(recordBytes(disk, record));
  p.setFormatted(options.formatted);
}

std::unique_ptr<ParsedVolume> standardFat32(readWriteInterface& disk, const VolumeRecord& record,
                                            const ParseOptions& options, Reporter& reporter,
                                            std::string& error) {
  auto v = std::make_unique<Fat32Volume>();
  Fat32Class& p = v->parser;
  attach(*v, p, disk, record, options, reporter);
  if (!p.checkBootSector()) {
    error = "Selected Drive is not in Fat32 Format";
    return nullptr;
  }
  p.setVolumeSize(std::max(recordBytes(disk, record), bootExtent(p.geometry())));
  p.countRootClusters();
  p.readRootDirectory();
  reporter.status("Finding Fat32 File And Directory entries recursively....");
  p.collectRootEntries();
  reporter.status("maintaining tree Structure in vector...");
  p.linkEntries();
  reporter.status("Creating Tree Structure....");
  p.fillTreeRoots();
  reporter.status("Tree Structure Created.");
  restoreNames(*v);
  return v;
}

std::unique_ptr<ParsedVolume> standardFat16(readWriteInterface& disk, const VolumeRecord& record,
                                            const ParseOptions& options, Reporter& reporter,
                                            std::string& error) {
  auto v = std::make_unique<Fat16Volume>();
  Fat16Class& p = v->parser;
  attach(*v, p, disk, record, options, reporter);
  if (!p.checkBootSector()) {
    error = "Selected Drive is not in Fat16 Format";
    return nullptr;
  }
  p.setVolumeSize(std::max(recordBytes(disk, record), bootExtent(p.geometry())));
  p.readFat();
  p.readRootRegion();
  reporter.status("Finding Fat16 File And Directory entries recursively....");
  p.collectRootEntries();
  reporter.status("maintaining tree Structure in vector...");
  reporter.progressRange(0, 1000);
  p.linkEntries();
  reporter.progressPosition(1000);
  reporter.status("Creating Tree Structure....");
  p.fillTreeRoots();
  reporter.status("Tree Structure Created.");
  reporter.progressRange(0, 100);
  reporter.progressPosition(100);
  return v;
}

std::unique_ptr<ParsedVolume> standardExfat(readWriteInterface& disk, const VolumeRecord& record,
                                            const ParseOptions& options, Reporter& reporter,
                                            std::string& error) {
  auto v = std::make_unique<ExfatVolume>();
  Fat64Class& p = v->parser;
  attach(*v, p, disk, record, options, reporter);
  if (!p.setVolumeSize(recordBytes(disk, record))) {
    error = "the volume has no size";
    return nullptr;
  }
  if (!p.checkBootSector()) {
    error = "Selected Drive is not in exFat Format";
    return nullptr;
  }
  p.setVolumeSize(std::max(recordBytes(disk, record), bootExtent(p.geometry())));
  if (!p.readRootCluster()) {
    error = "error...";
    return nullptr;
  }
  reporter.status("processing file and directory entries...");
  reporter.status("Finding Fat64 File And Directory entries recursively....");
  p.collectRootEntries();
  p.linkEntries();
  reporter.status("creating tree Structure...");
  p.fillTreeRoots();
  restoreNames(*v);
  reporter.finished("done...");
  return v;
}

template <class Volume, class Worker>
std::unique_ptr<ParsedVolume> advancedFat(std::unique_ptr<Volume> v, readWriteInterface& disk,
                                          const VolumeRecord& record, const ParseOptions& options,
                                          Reporter& reporter, std::string_view treeStatus,
                                          std::string& error) {
  auto& p = v->parser;
  p.setJob(options.job);
  StatusOnly quiet(reporter);
  Worker worker(p);
  // One more candidate than the one chosen: FAT16 measures a FAT copy by the next one.
  const FatCandidateResults& found = worker.run(disk, record, std::max(3, options.candidate + 2), quiet);
  if (options.candidate < 0 || static_cast<std::size_t>(options.candidate) >= found.candidatePositions.size()) {
    error = kNoCandidate;
    return nullptr;
  }
  const std::uint64_t position = found.candidatePositions[static_cast<std::size_t>(options.candidate)];
  const std::int64_t sectors = options.clusterSectors > 0 ? options.clusterSectors : firstChoice(found.clusterChoices);
  p.releaseBuffers();
  attach(*v, p, disk, record, options, reporter);
  p.setUserGeometry(static_cast<std::uint32_t>(std::clamp<std::int64_t>(sectors, 1, 128)));
  p.setFatOffset(position);
  p.scanForEntries();
  reporter.status("Maintaining directory Structure in AdvanceScanning");
  p.buildFromScan(position);
  reporter.status(treeStatus);
  p.linkEntries();
  p.fillTreeRoots();
  if constexpr (std::is_same_v<Volume, Fat32Volume>) restoreNames(*v);
  return v;
}

std::unique_ptr<ParsedVolume> advancedExfat(readWriteInterface& disk, const VolumeRecord& record,
                                            const ParseOptions& options, int heapCandidate, Reporter& reporter, std::string& error) {
  auto v = std::make_unique<ExfatVolume>();
  Fat64Class& p = v->parser;
  p.setJob(options.job);
  StatusOnly quiet(reporter);
  Fat64CandidateWorker worker(p);
  const FatCandidateResults& found =
      worker.run(disk, record, std::max({3, options.candidate + 1, heapCandidate + 1}), quiet);
  if (options.candidate < 0) {
    error = kNoCandidate;
    return nullptr;
  }
  const auto pick = [](const std::vector<std::uint64_t>& list, int i) -> std::uint64_t {
    return i >= 0 && static_cast<std::size_t>(i) < list.size() ? list[static_cast<std::size_t>(i)] : 0;
  };
  const std::uint64_t fatPosition = pick(found.candidatePositions, options.candidate);
  const std::uint64_t heapPosition = pick(found.heapPositions, heapCandidate);
  const std::int64_t exponent = options.clusterSectors > 0 ? options.clusterSectors : firstChoice(found.clusterChoices);
  attach(*v, p, disk, record, options, reporter);
  p.setUserGeometry(static_cast<int>(std::clamp<std::int64_t>(exponent, 0, 16)));
  p.scanForEntries();
  reporter.status("Maintaining TreeStructure for Tree Control");
  if (fatPosition == 0 || heapPosition == 0) {
    error = fatPosition == 0 ? "no FAT64 candidate at the selected index" : "no heap candidate at the selected index";
    return nullptr;
  }
  p.buildFromScan(heapPosition, fatPosition);
  p.linkEntries();
  p.fillTreeRoots();
  restoreNames(*v);
  return v;
}

void addLines(CandidateList& out, const FatCandidateResults& r) {
  char text[96];
  for (std::size_t i = 0; i < r.candidateItems.size(); ++i) {
    std::snprintf(text, sizeof text, "%s  at byte %llu", r.candidateItems[i].c_str(),
                  static_cast<unsigned long long>(r.candidatePositions[i]));
    out.lines.emplace_back(text);
  }
  for (std::size_t i = 0; i < r.heapItems.size(); ++i) {
    std::snprintf(text, sizeof text, "%s  at byte %llu", r.heapItems[i].c_str(),
                  static_cast<unsigned long long>(r.heapPositions[i]));
    out.lines.emplace_back(text);
  }
  out.clusterChoices = r.clusterChoices;
}

}  // namespace

bool isFatFileSystem(const std::string& fileSystem) { return kindOf(fileSystem) != FatKind::None; }

std::unique_ptr<ParsedVolume> parseFatVolume(readWriteInterface& disk, const VolumeRecord& record,
                                             const ParseOptions& options, Reporter& reporter,
                                             std::string& error) {
  return parseFatVolume(disk, record, options, options.heap, reporter, error);
}

std::unique_ptr<ParsedVolume> parseFatVolume(readWriteInterface& disk, const VolumeRecord& record,
                                             const ParseOptions& options, int heapCandidate, Reporter& reporter, std::string& error) {
  const FatKind kind = kindOf(record.fileSystem);
  const bool advanced = options.mode == RecoveryMode::Advanced;
  switch (kind) {
    case FatKind::Fat32:
      if (!advanced) return standardFat32(disk, record, options, reporter, error);
      return advancedFat<Fat32Volume, Fat32CandidateWorker>(std::make_unique<Fat32Volume>(), disk, record,
                                                           options, reporter,
                                                           "Maintaining TreeStructure for Tree Control", error);
    case FatKind::Fat16:
      if (!advanced) return standardFat16(disk, record, options, reporter, error);
      return advancedFat<Fat16Volume, Fat16CandidateWorker>(std::make_unique<Fat16Volume>(), disk, record,
                                                           options, reporter,
                                                           "Maintaining Tree Structure for Tree Control", error);
    case FatKind::Exfat:
      if (!advanced) return standardExfat(disk, record, options, reporter, error);
      return advancedExfat(disk, record, options, heapCandidate, reporter, error);
    case FatKind::None: break;
  }
  error = "volumes of type " + record.fileSystem + " are not FAT volumes";
  return nullptr;
}

bool listFatCandidates(readWriteInterface& disk, const VolumeRecord& record, int maximum, Reporter& reporter,
                       CandidateList& out, std::string& error) {
  out = {};
  switch (kindOf(record.fileSystem)) {
    case FatKind::Fat32: {
      Fat32Class p;
      addLines(out, Fat32CandidateWorker(p).run(disk, record, maximum, reporter));
      return true;
    }
    case FatKind::Fat16: {
      Fat16Class p;
      addLines(out, Fat16CandidateWorker(p).run(disk, record, maximum, reporter));
      return true;
    }
    case FatKind::Exfat: {
      Fat64Class p;
      Fat64CandidateWorker worker(p);
      addLines(out, worker.run(disk, record, maximum, reporter));
      return true;
    }
    case FatKind::None: break;
  }
  error = "volumes of type " + record.fileSystem + " have no FAT candidate search";
  return false;
}

}  // namespace quarnel

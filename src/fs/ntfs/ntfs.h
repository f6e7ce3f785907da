// The NTFS parser: finds the master file table of one volume (from the boot sector, by
// searching for its own record, or from a candidate the user picked), lists every record,
// links the records into a folder tree with the lost ones under ORPHAN_ENTRY, and writes
// any listed file's content. Deep mode does without the MFT and scans the volume for
// records. The operations keep the names the rest of the system calls them by; every
// on-disk field is treated as hostile.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fs/ntfs/content_stream.h"
#include "fs/ntfs/data_runs.h"
#include "fs/ntfs/ntfs_records.h"
#include "platform/byte_sink.h"
#include "platform/job.h"
#include "platform/reporter.h"
#include "platform/times.h"
#include "storage/read_write_interface.h"
#include "volumes/volume_record.h"

namespace quarnel {

enum class NtfsMode : int { None = 0, Standard = 1, Advanced = 2, Deep = 3 };

inline constexpr std::u16string_view kOrphanEntryName = u"ORPHAN_ENTRY";

// A FILETIME as an instant; 0 (no $STANDARD_INFORMATION) is no time at all.
Instant ntfsInstant(std::uint64_t filetime);

struct EntryTimes {
  std::uint64_t created = 0;  // FILETIME
  std::uint64_t modified = 0;
  std::uint64_t accessed = 0;
  std::string letters;
};

// The summary of a record's unnamed $DATA attribute.
struct DataAttributeInfo {
  bool present = false;  // the record has a $DATA of its own
  std::uint32_t dataOffset = 0;  // run-list offset (N) or content offset in the record (R)
  std::uint32_t dataLength = 0;  // run-list bytes (N) or content length (R)
  std::uint16_t compressionUnit = 0;
  std::uint64_t firstVcn = 0;
  std::uint64_t lastVcn = 0;
  char residency = 0;  // 'N', 'R', or 0 without $DATA
  const char* kindText = nullptr;  // "Compressed", "Encrypted", "Normal" (non-resident)
  std::uint64_t allocatedSize = 0;
  std::uint64_t realSize = 0;
  std::uint64_t initializedSize = 0;

  // Where the stream's valid data ends: its initialised size when that is plausible (never
  // past the real size), else the real size.
  std::uint64_t validSize() const { return initializedSize <= realSize ? initializedSize : realSize; }
  bool compressed() const { return residency == 'N' && kindText && std::string_view(kindText) == "Compressed"; }
};

// The working copy of one record, fixed up.
struct LoadedRecord {
  ntfs_format::RecordHeader header;
  std::uint64_t position = 0;
  std::vector<std::byte> bytes;
  std::vector<ntfs_format::AttributeHeader> attributes;
  // An $ATTRIBUTE_LIST and no unnamed $DATA after it: the content lives in extension records.
  bool attributeListMark = false;
};

// A record named by an attribute list as holding a piece of the unnamed $DATA.
struct ExtensionRecord {
  std::uint64_t recordNumber = 0;
  std::uint64_t startVcn = 0;
};

// What parseRecord learnt beyond the name from the same read, so the file list and the
// listings need not read the record again.
struct RecordSummary {
  EntryTimes times;
  DataAttributeInfo data;
  bool attributeListMark = false;
};

struct NtfsEntryRecord {
  std::array<char, 4> signature{};
  std::uint64_t position = 0;
  std::optional<std::u16string> name;
  std::int64_t parent = 0;
  std::uint64_t allocatedSize = 0;
  std::uint16_t recordFlags = 0;
  char kind = 0;  // 'D' for a directory
  std::uint64_t index = 0;
  std::uint8_t orphan = 0;
  std::uint16_t sequence = 0;        // the record's own, from its header
  std::uint16_t parentSequence = 0;  // what the named $FILE_NAME expects of the parent's
  std::int64_t firstChild = 0;   // 0: none
  std::int64_t nextSibling = 0;  // 0: none; -1 ends ORPHAN_ENTRY's chains
  // The last child appended, so linking a large folder does not walk its whole chain.
  std::int64_t lastChild = 0;
  std::optional<RecordSummary> summary;

  bool isFile() const { return signature == std::array<char, 4>{'F', 'I', 'L', 'E'}; }
  bool inUse() const { return (recordFlags & ntfs_format::kRecordInUse) != 0; }
  bool isDirectory() const { return kind == 'D'; }
};

// A further name of a file: a hard link, in its own folder or beside the first name.
struct NtfsLinkName {
  std::int64_t record = 0;
  std::int64_t parent = 0;
  std::uint16_t parentSequence = 0;
  std::u16string name;
};

// How many FILE records the parse read and how many of them were torn: a sector end that
// does not hold the update sequence number. Many torn records are the surest sign that the
// array's member order, stripe size or offsets are wrong.
struct FixupCheck {
  std::uint64_t records = 0;
  std::uint64_t torn = 0;
};

class ntfs {
 public:
  ntfs(readWriteInterface& source, VolumeRecord volume, Reporter& reporter);
  ntfs(const ntfs&) = delete;
  ntfs& operator=(const ntfs&) = delete;

  // Boot sector and MFT location.
  void attachSource();
  bool readBootSector();
  bool locateMft();
  void collectMftRecords();
  std::vector<MftRun> attributeRuns(std::uint64_t position, std::uint32_t type);
  // Copies a record into destination and restores its sector-end words.
  static void applyFixup(ByteSpan record, std::vector<std::byte>& destination);

  // Records and folder tree.
  void buildTree();
  bool parseRecord(std::int64_t i);
  void linkToParent(std::int64_t i);
  void placeOrphans();
  bool fillTreeRoots();
  EntryTimes readTimes(std::uint64_t position);
  // Creation, access, modification texts and attribute letters.
  std::array<std::string, 4> entryTimeTexts(const NtfsEntryRecord& entry);
  int releaseNames();
  // The entries fillTreeRoots puts under the volume item, in order.
  std::vector<std::int64_t> topLevelEntries() const;

  // Content.
  LoadedRecord loadRecord(std::int64_t i);
  DataAttributeInfo dataAttributeInfo(const LoadedRecord& record) const;
  void readAttributeList(const LoadedRecord& record);  // fills extensionRecords
  // The clusters of the record's first non-resident unnamed $DATA, as runs.
  std::vector<MftRun> clusterList(std::uint64_t position);
  static std::size_t decompressUnit(ByteSpan input, MutableByteSpan output);
  bool writeExtensionData(const DataAttributeInfo& data, ByteSink& out);  // over extensionRuns
  // The entry's content into out, streamed; false when it could not all be read or written.
  bool writeContent(std::int64_t i, ByteSink& out);
  // Writes entry i into outputPath with its times; the path written, or empty.
  std::string saveFile(std::string_view indexText);
  std::string sizeText(std::int64_t i);
  // Bytes of content: $DATA real size, resident content length, 0 without $DATA.
  std::uint64_t realSize(std::int64_t i);
  EntryTimes entryTimes(std::int64_t i);

  // Deep mode and the MFT searches.
  void deepScan();
  bool searchMftRecord();
  std::int64_t findMftCandidates(std::int64_t maximum);
  bool chooseMftCandidate(std::int64_t k);

  Reporter& reporter() const { return reporter_; }
  std::size_t recordSize() const { return recordSize_; }
  ByteSpan bootSector() const { return bootBuffer_; }
  bool validIndex(std::int64_t i) const { return i >= 0 && i < static_cast<std::int64_t>(entryList.size()); }

  std::vector<NtfsEntryRecord> entryList;
  // Names beyond each file's first, in record order (standard and advanced modes).
  std::vector<NtfsLinkName> linkNames;
  FixupCheck fixupCheck;
  // Whether a $FILE_NAME's parent reference still names the folder in record p: the same
  // sequence number, or one more when that folder was deleted (freeing raises it).
  bool sameParent(std::int64_t p, std::uint16_t parentSequence) const;
  std::vector<NtfsEntryRecord> mftCandidates;
  std::vector<MftRun> mftRuns;
  std::vector<ExtensionRecord> extensionRecords;
  std::vector<MftRun> extensionRuns;
  std::string outputPath;
  // The job that drives the parse: its stop request ends the scans with what was found.
  void setJob(JobControl* job) { job_ = job ? job : &ownJob_; }
  void requestStop() { job_->requestStop(); }
  JobControl& job() const { return *job_; }
  // The check point of the long loops (waits while the job is paused).
  bool stopRequest() const { return job_->shouldStop(); }
  NtfsMode mode = NtfsMode::None;
  std::uint64_t clusterSize = 0;
  std::uint64_t volumeSize = 0;
  std::uint64_t mftPosition = 0;
  std::uint32_t recordsPerCluster = 0;
  std::uint64_t runSpan = 0;
  bool mftFound = false;
  std::int64_t orphanIndex = -1;
  std::int64_t rootIndex = 5;

 private:
  UnstoppableJob ownJob_;
  JobControl* job_ = &ownJob_;
  enum class ContentResult { Written, Incomplete, InvalidEntry, Directory, Failed };
  enum class SlotAction { Next, SkipRecord, Stop };
  struct ContentSize {
    std::uint64_t shown = 0;  // what sizeText shows: clusters for attribute-list files
    std::uint64_t real = 0;
  };
  static constexpr std::uint64_t kScanChunk = 10485760;
  static constexpr std::size_t kScanSlot = 512;

  // Reading. Positions are from the volume start.
  std::uint64_t readLimit() const;
  bool reachable(std::uint64_t position) const { return position < readLimit(); }
  bool readBytes(std::uint64_t position, MutableByteSpan out);
  bool readRecord(std::uint64_t position, std::vector<std::byte>& fixedUp);
  std::uint64_t bootClusterSize() const;
  ClusterStreamer streamer();

  // Records.
  bool parseRecordFrom(std::int64_t i, ByteSpan raw);
  void linkParsed(std::int64_t i);
  // Unlinks, after the records are read, every entry whose parent record was reused.
  void orphanByParentSequence();
  void reportTornRecords();
  NtfsEntryRecord newEntry(std::uint64_t position, ByteSpan firstBytes) const;
  static RecordSummary summarize(ByteSpan fixedUp, const std::vector<ntfs_format::AttributeHeader>& attributes);
  static EntryTimes timesFrom(ByteSpan fixedUp, const std::vector<ntfs_format::AttributeHeader>& attributes);
  static DataAttributeInfo dataInfoFrom(const std::vector<ntfs_format::AttributeHeader>& attributes);
  static bool listMarkFrom(const std::vector<ntfs_format::AttributeHeader>& attributes);
  // The runs of the first non-resident attribute of type (unnamed for $DATA, and starting
  // at startVcn when given); continueLists goes on to the next such attribute when a list
  // ends without its terminating header.
  std::vector<MftRun> runsFrom(ByteSpan fixedUp, const std::vector<ntfs_format::AttributeHeader>& attributes,
                               std::uint32_t type, std::optional<std::uint64_t> startVcn, bool continueLists);
  void placeDeep();

  // Content.
  LoadedRecord loadAt(std::uint64_t position);
  ContentResult writeEntry(std::int64_t i, ByteSink& out);
  ContentSize contentSize(std::int64_t i);
  // Where a file's records are found: the base record's position and its own number.
  struct BaseRecord {
    std::uint64_t position = 0;
    std::uint64_t number = 0;
  };
  BaseRecord baseOf(std::int64_t i, const ntfs_format::RecordHeader& header) const;
  std::vector<ntfs_format::AttributeListEntry> listEntries(const LoadedRecord& record);
  std::optional<std::uint64_t> extensionPosition(std::uint64_t recordNumber, const BaseRecord& base);
  // Whether extensionRecords names a piece of $DATA outside the base record.
  bool piecesElsewhere(const BaseRecord& base) const;
  // Fills extensionRuns from extensionRecords; data and first describe the first piece.
  void gatherExtension(const BaseRecord& base, DataAttributeInfo& data, LoadedRecord& first);
  // The $FILE_NAMEs the attribute list places in extension records.
  std::vector<ntfs_format::FileNameContent> extensionNames(const LoadedRecord& record, const BaseRecord& base);
  // Whether entry i's $DATA is gathered through its attribute list (extensionRecords
  // filled): it has none of its own, or its own is only the first of several pieces.
  bool spreadOverRecords(std::int64_t i, const LoadedRecord& record, const DataAttributeInfo& data, BaseRecord& base);
  StreamOutcome extensionOutcome(const DataAttributeInfo& data, ByteSink& out);
  StreamOutcome writeResident(const LoadedRecord& record, const DataAttributeInfo& data, ByteSink& out);
  StreamOutcome writeCompressed(const LoadedRecord& record, const DataAttributeInfo& data, ByteSink& out);

  // The chunked walk of the deep scan and the searches. onSlot sees each 512-byte slot
  // with the rest of its chunk; SkipRecord steps over the record's remaining sectors, into
  // the next chunk too.
  void scanChunks(std::uint64_t end, const std::function<bool(std::int64_t)>& beforeChunk,
                  const std::function<SlotAction(std::uint64_t, ByteSpan)>& onSlot);
  ByteSpan recordFromSlot(std::uint64_t position, ByteSpan slot, std::vector<std::byte>& scratch);
  // Without a boot sector to say it, the first record found tells the record size by the
  // sectors its update sequence covers.
  void learnRecordSize(const ntfs_format::RecordHeader& header);
  void learnClusterSize(std::uint64_t mftRecordPosition);

  readWriteInterface& source_;
  VolumeRecord volume_;
  Reporter& reporter_;
  std::vector<std::byte> bootBuffer_;
  std::size_t recordSize_ = ntfs_format::kSmallRecord;
  bool recordSizeKnown_ = false;
  // Deep mode: extension records by their own record number, since list indexes are not
  // record numbers there.
  std::map<std::uint64_t, std::uint64_t> deepExtensions_;
};

}  // namespace quarnel

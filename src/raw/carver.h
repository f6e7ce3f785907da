// The signature carver: reads a volume front to back in 1 MiB blocks, looks for the
// definitions' starting signatures at every sector start and for their ending signatures
// anywhere after a start, and lists each find under its category.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/job.h"
#include "platform/reporter.h"
#include "platform/tree_sink.h"
#include "raw/signature_matcher.h"
#include "raw/signature_record.h"
#include "storage/read_write_interface.h"

namespace quarnel {

inline constexpr std::int64_t kCarveBlockBytes = 1048576;
inline constexpr std::string_view kRawRecoveryRoot = "RAW RECOVERY ";

// A tree whose category nodes change their text ("%s (%lld)") as their finds are counted.
class CarveTreeSink : public TreeSink {
 public:
  virtual void setItemText(TreeItem item, std::string_view text) = 0;
};

class NullCarveTreeSink : public CarveTreeSink {
 public:
  TreeItem insertItem(TreeItem, std::string_view, bool, bool, std::int64_t) override { return ++last_; }
  void setItemText(TreeItem, std::string_view) override {}

 private:
  TreeItem last_ = 0;
};

struct FileTypeDefinition {
  std::uint8_t startLength = 0;
  std::uint8_t endLength = 0;
  std::string extension;  // at most four characters, UTF-8
  std::int32_t sizeOffset = -1;
  std::int32_t sizeBytes = 0;
  std::int32_t headerSize = 0;
  std::uint8_t sizeIncludesHeader = 0;
  std::int64_t approxSize = 0;
  std::int64_t skipSize = 0;
  std::string category;  // UTF-8
  TreeItem node = 0;     // set during a run

  static FileTypeDefinition fromRecord(const SignatureRecord& record);
  bool hasEnd() const { return endLength > 0; }
  // A size field that cannot be read (no offset, or not within the first sector) counts as none.
  bool hasSizeField() const;
};

// The first 34 bytes of a record and the definition made from the same record.
struct SignatureEntry {
  std::array<char16_t, kExtensionUnits> extension{};
  std::uint8_t extensionLength = 0;
  std::array<std::uint8_t, kMaxSignatureBytes> startSignature{};
  std::array<std::uint8_t, kMaxSignatureBytes> endSignature{};
  std::uint8_t startLength = 0;
  std::uint8_t endLength = 0;
  std::size_t definition = 0;
};

struct FoundFile {
  std::int64_t start = 0;   // byte position on the volume
  std::int64_t length = 0;
  std::size_t definition = 0;
  std::string name;         // "%lld ." and the extension, as the tree shows it
  TreeItem item = 0;
};

class myJpg {
 public:
  // Adds one definition and one entry per record; numbering goes on across calls.
  void addRecords(const std::vector<SignatureRecord>& records);

  // Carves volumeBytes bytes of source from its baseOffset. Progress is one step per 1 MiB
  // block; finds go under a new "RAW RECOVERY " root. False only when there is nothing to
  // match with ("not properly initialized"); a stop request ends the run early.
  bool carveVolume(readWriteInterface& source, std::int64_t volumeBytes, Reporter& reporter,
                   CarveTreeSink& tree);

  std::vector<FileTypeDefinition> definitions;
  std::vector<SignatureEntry> signatureEntries;
  // Slot i holds entry i's starting signature, slot n + i its ending signature.
  std::vector<MatchSlot> matchTable;
  std::vector<std::deque<std::int64_t>> pendingStarts;  // per definition, oldest first
  std::vector<FoundFile> foundFiles;                    // of the last run, in the order found
  std::map<std::string, std::int64_t> categoryCounts;   // of the last run
  // The job that drives the run: a stop ends it with the files found so far.
  JobControl* job = &ownJob;
  UnstoppableJob ownJob;
};

}  // namespace quarnel

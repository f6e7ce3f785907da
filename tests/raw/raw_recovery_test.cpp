// Raw recovery of a volume record: which signature files stop a run, the volume's place and
// size, and how finds are written out.
#include <gtest/gtest.h>

#include <filesystem>

#include "raw/raw_recovery.h"
#include "raw/raw_test_support.h"
#include "raw/signature_file.h"
#include "support/test_support.h"

namespace quarnel {
namespace {

namespace rawtest = test::raw;

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
constexpr std::int64_t kMiB = 1048576;

SignatureDraft def(const char* ext, Bytes start, std::int64_t approx, const char* category) {
  SignatureDraft d;
  d.extension = ext;
  d.startSignature = std::move(start);
  d.approxSize = approx;
  d.category = category;
  return d;
}

std::string signatureFile(const test::ScratchDir& dir, const std::string& name, const std::vector<SignatureDraft>& drafts) {
  std::vector<SignatureRecord> records;
  for (const auto& d : drafts) records.push_back(rawtest::recordOf(d, records.size()));
  EXPECT_EQ(writeSignatureFile(dir.file(name), records), "");
  return dir.file(name);
}

VolumeRecord volumeAt(std::int64_t startSector, const std::string& sizeText) {
  VolumeRecord r;
  r.fileSystem = "RAW";
  r.volumeSizeText = sizeText;
  r.startSector = startSector;
  return r;
}

struct Run {
  myJpg carver;
  rawtest::RecordingReporter reporter;
  NullCarveTreeSink tree;
  RawRecoveryResult result;
};

std::unique_ptr<Run> recover(rawtest::MemoryVolume& disk, const VolumeRecord& volume, const RawRecoveryRequest& request) {
  auto r = std::make_unique<Run>();
  r->result = recoverRaw(r->carver, disk, volume, request, r->reporter, r->tree);
  return r;
}

TEST(RawRecovery, SignatureFilesInTurn) {
  test::ScratchDir dir;
  const std::string first = signatureFile(dir, "first", {def("jpg", {0xFF, 0xD8, 0xFF}, 100, "Images")});
  const std::string second = signatureFile(dir, "second", {def("7z", {0x37, 0x7A}, 100, "Archives")});
  test::writeFile(dir.file("broken"), Bytes(200, 1));
  rawtest::MemoryVolume disk(kMiB);
  {
    SCOPED_TRACE("numbering goes on from file to file; a broken default file is passed over");
    RawRecoveryRequest q{dir.file("broken"), {first, second}, ""};
    auto r = recover(disk, volumeAt(0, "1"), q);
    EXPECT_TRUE(r->result.carved);
    ASSERT_EQ(r->carver.definitions.size(), 2u);
    EXPECT_EQ(r->carver.signatureEntries[1].definition, 1u);
    EXPECT_EQ(r->carver.definitions[1].extension, "7z");
    ASSERT_EQ(r->result.problems.size(), 1u);
    EXPECT_EQ(r->result.problems[0].message, "not a valid file..");
  }
  {
    SCOPED_TRACE("an absent default file says nothing");
    RawRecoveryRequest q{dir.file("absent"), {first}, ""};
    auto r = recover(disk, volumeAt(0, "1"), q);
    EXPECT_TRUE(r->result.carved);
    EXPECT_TRUE(r->result.problems.empty());
  }
  {
    SCOPED_TRACE("a named file that cannot be used stops the run");
    disk.reads.clear();
    RawRecoveryRequest q{"", {first, dir.file("absent"), second}, ""};
    auto r = recover(disk, volumeAt(0, "1"), q);
    EXPECT_FALSE(r->result.carved);
    ASSERT_EQ(r->result.problems.size(), 1u);
    EXPECT_EQ(r->result.problems[0].path, dir.file("absent"));
    EXPECT_EQ(r->result.problems[0].message, "can not open file");
    EXPECT_TRUE(disk.reads.empty());
  }
}

TEST(RawRecovery, TheVolumeIsReadFromItsStartForItsSize) {
  test::ScratchDir dir;
  const std::string sig = signatureFile(dir, "sig", {def("7z", {0x37, 0x7A}, 100, "Archives")});
  rawtest::MemoryVolume disk(4 * kMiB);
  disk.put(2048 * 512 + 4096, {0x37, 0x7A});
  disk.put(2048 * 512 + kMiB + 512, {0x37, 0x7A});  // past a volume of 1 MiB
  disk.put(2049 * 512 + 2 * kMiB + 512, {0x37, 0x7A});  // in the disk's last partial MiB from sector 2049
  {
    auto r = recover(disk, volumeAt(2048, "1   MB"), {"", {sig}, ""});
    ASSERT_TRUE(r->result.carved);
    ASSERT_EQ(r->carver.foundFiles.size(), 1u);
    EXPECT_EQ(r->carver.foundFiles[0].start, 4096);
    EXPECT_EQ(disk.baseOffset, 0);  // the volume reads through its own source; the disk is never aimed
  }
  {
    auto r = recover(disk, volumeAt(2048, "0"), {"", {sig}, ""});
    EXPECT_FALSE(r->result.carved);
    EXPECT_EQ(r->reporter.messages, (std::vector<std::string>{"zero size volume.."}));
  }
  {
    SCOPED_TRACE("a size rounded down from the rest of the disk still reaches its end");
    // 3 MiB less a sector after sector 2049: shown as 2 MiB, the last partial MiB is carved too.
    auto r = recover(disk, volumeAt(2049, "2"), {"", {sig}, ""});
    ASSERT_TRUE(r->result.carved);
    ASSERT_EQ(r->carver.foundFiles.size(), 3u);
    EXPECT_EQ(r->carver.foundFiles[2].start, 2 * kMiB + 512);
  }
  {
    SCOPED_TRACE("a range reaching past the disk is carved up to the disk's end");
    disk.reads.clear();
    auto r = recover(disk, volumeAt(2048, "100"), {"", {sig}, ""});
    ASSERT_TRUE(r->result.carved);
    EXPECT_EQ(r->carver.foundFiles.size(), 3u);
    EXPECT_EQ(disk.reads.size(), 3u);  // 3 MiB of disk after the start
  }
}

TEST(RawRecovery, FindsAreWrittenSafelyUnderTheirCategory) {
  test::ScratchDir dir;
  const std::string sig = signatureFile(
      dir, "sig", {def("7z", {0x37, 0x7A}, 1536 * 1024, "Archives"), def("rar", {0x52, 0x61}, 700, "../up")});
  rawtest::MemoryVolume disk(4 * kMiB);
  Bytes content = test::randomBytes(1536 * 1024, 9);
  for (std::size_t at = 0; at < content.size(); at += 512) content[at] = 0x11;  // no start inside
  disk.put(1024 * 512, content);
  disk.put(1024 * 512, {0x37, 0x7A});
  disk.put(1024 * 512 + 2 * kMiB, {0x52, 0x61});
  const std::string out = dir.file("out");
  fs::create_directories(out + "/Archives");
  test::writeFile(out + "/Archives/0.7z", {1, 2, 3});

  auto r = recover(disk, volumeAt(1024, "3"), {"", {sig}, out});
  ASSERT_TRUE(r->result.carved);
  ASSERT_EQ(r->result.saved.files.size(), 2u);
  EXPECT_EQ(r->result.saved.written, 2);
  EXPECT_EQ(r->result.saved.files[0].path, out + "/Archives/0 (2).7z");
  EXPECT_EQ(test::readFile(out + "/Archives/0.7z"), (Bytes{1, 2, 3})) << "an existing file is kept";
  Bytes want = content;
  want[0] = 0x37;
  want[1] = 0x7A;
  EXPECT_EQ(test::readFile(r->result.saved.files[0].path), want);
  const std::string rar = r->result.saved.files[1].path;
  EXPECT_EQ(rar, out + "/.._up/2097152.rar");
  EXPECT_EQ(fs::file_size(rar), 700u);
}

}  // namespace
}  // namespace quarnel

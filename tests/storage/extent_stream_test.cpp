// The one content streamer: holes, uninitialised extents and the part past the valid size
// are zeros; unreadable sectors are zeros in place, told to the sink, and never shift the
// bytes after them; holes stay holes in a saved file.
#include "storage/extent_stream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>

#include "platform/output_file.h"
#include "support/test_support.h"

namespace quarnel {
namespace {

// A disk in memory whose listed sectors cannot be read.
class PatchyDisk : public readWriteInterface {
 public:
  explicit PatchyDisk(std::size_t sectors) : bytes(sectors * kSectorSize) {
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::byte>('A' + (i / kSectorSize) % 26);
  }
  bool open(const std::string&) override { return true; }
  using readWriteInterface::readAt;
  bool readAt(std::int64_t offset, MutableByteSpan out) override {
    bool ok = true;
    for (std::size_t i = 0; i < out.size(); ++i) {
      const auto at = static_cast<std::size_t>(offset) + i;
      const bool good = at < bytes.size() && !bad.count(static_cast<std::int64_t>(at / kSectorSize));
      out[i] = good ? bytes[at] : std::byte{0};
      ok = ok && good;
    }
    return ok;
  }
  std::int64_t sizeSectors() const override { return static_cast<std::int64_t>(bytes.size() / kSectorSize); }
  std::vector<std::byte> bytes;
  std::set<std::int64_t> bad;
};

class Collect : public ByteSink {
 public:
  bool write(ByteSpan d) override {
    bytes.insert(bytes.end(), d.begin(), d.end());
    return true;
  }
  void unreadable(std::uint64_t offset, std::uint64_t length) override { bad.push_back({offset, length}); }
  std::string text() const { return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()); }
  std::vector<std::byte> bytes;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> bad;
};

// Sector s of the disk as the streamer should copy it.
std::string sector(int s) { return std::string(kSectorSize, static_cast<char>('A' + s % 26)); }
std::string zeros(std::size_t n) { return std::string(n, '\0'); }

TEST(ExtentStream, HolesUninitialisedExtentsAndTheSizeCutTheLastPiece) {
  PatchyDisk disk(64);
  ContentMap m;
  m.add(512, 1024, 7 * 512);            // sectors 7 and 8
  m.add(2048, 512, 9 * 512, true);      // uninitialised, though sector 9 holds data
  m.add(2560, 512, 10 * 512);
  m.size = 2560 + 512 + 700;            // a hole at the end, up to the size
  Collect out;
  const ContentReport r = streamContent({&disk, 0, UINT64_MAX}, m, out);
  EXPECT_TRUE(r.complete());
  EXPECT_EQ(out.text(), zeros(512) + sector(7) + sector(8) + zeros(512) + zeros(512) + sector(10) + zeros(700));

  ContentMap cut = m;
  cut.size = 512 + 100;
  Collect shortOut;
  streamContent({&disk, 0, UINT64_MAX}, cut, shortOut);
  EXPECT_EQ(shortOut.text(), zeros(512) + sector(7).substr(0, 100));
}

TEST(ExtentStream, AdjacentPiecesMergeIntoOneRead) {
  ContentMap m;
  m.add(0, 512, 4096);
  m.add(512, 512, 4608);      // follows on both: merged
  m.add(1024, 512, 0);        // follows in the file only
  m.add(1536, 512, 0, true);
  m.add(2048, 512, 0, true);  // holes merge too
  ASSERT_EQ(m.extents.size(), 3u);
  EXPECT_EQ(m.extents[0].length, 1024u);
  EXPECT_EQ(m.extents[2].length, 1024u);
}

TEST(ExtentStream, PastTheValidSizeIsZeros) {
  PatchyDisk disk(16);
  ContentMap m;
  m.add(0, 2048, 512);
  m.size = 2048;
  m.validSize = 700;  // stale bytes after it must not leak
  Collect out;
  EXPECT_TRUE(streamContent({&disk, 0, UINT64_MAX}, m, out).complete());
  EXPECT_EQ(out.text(), sector(1) + sector(2).substr(0, 188) + zeros(2048 - 700));
}

// An unreadable sector in a large read: the readable sectors around it are kept, its bytes
// are zeros where they belong, and the sink hears where.
TEST(ExtentStream, UnreadableSectorsAreZerosInPlaceAndReported) {
  PatchyDisk disk(64);
  disk.bad = {12, 13, 40};
  ContentMap m;
  m.add(0, 8 * 512, 10 * 512);       // sectors 10..17 with 12 and 13 bad
  m.add(8 * 512, 2 * 512, 40 * 512);  // sector 40 bad, 41 good
  m.size = 10 * 512;
  Collect out;
  const ContentReport r = streamContent({&disk, 0, UINT64_MAX}, m, out);
  EXPECT_TRUE(r.written);
  EXPECT_EQ(r.unreadable, 3u * 512);
  EXPECT_EQ(out.text(), sector(10) + sector(11) + zeros(1024) + sector(14) + sector(15) + sector(16) + sector(17) +
                            zeros(512) + sector(41));
  EXPECT_EQ(out.bad, (std::vector<std::pair<std::uint64_t, std::uint64_t>>{{1024, 1024}, {4096, 512}}));

  // The volume's end works the same way: what lies past it is unreadable, not skipped.
  ContentMap past;
  past.add(0, 1024, 62 * 512);
  past.size = 1024;
  Collect end;
  const ContentReport e = streamContent({&disk, 0, 63 * 512}, past, end);
  EXPECT_EQ(e.unreadable, 512u);
  EXPECT_EQ(end.text(), sector(62) + zeros(512));
}

TEST(ExtentStream, AStoppedJobEndsTheStream) {
  PatchyDisk disk(16);
  ContentMap m;
  m.add(0, 4096, 0);
  m.size = 4096;
  JobControl job;
  job.requestStop();
  Collect out;
  const ContentReport r = streamContent({&disk, 0, UINT64_MAX}, m, out, &job);
  EXPECT_TRUE(r.stopped);
  EXPECT_FALSE(r.complete());
  EXPECT_TRUE(out.bytes.empty());
}

// A saved file keeps its holes: it has its full length but no blocks where they are.
TEST(ExtentStream, HolesStayHolesInASavedFile) {
  PatchyDisk disk(16);
  ContentMap m;
  m.add(0, 512, 0);
  m.size = 64ull << 20;  // 64 MiB, all hole after the first sector
  test::ScratchDir dir;
  OutputFile f;
  ASSERT_TRUE(f.create(dir.file("sparse.bin"), false));
  EXPECT_TRUE(streamContent({&disk, 0, UINT64_MAX}, m, f).complete());
  ASSERT_TRUE(f.close());
  struct stat st {};
  ASSERT_EQ(::stat(dir.file("sparse.bin").c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 64 << 20);
  EXPECT_LT(st.st_blocks * 512, 1 << 20);
}

}  // namespace
}  // namespace quarnel

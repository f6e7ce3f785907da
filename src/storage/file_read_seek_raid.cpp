#include "storage/file_read_seek_raid.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>

#include "platform/raw_file.h"
#include "storage/file_read_seek.h"
#include "storage/file_read_seek_vhd.h"

namespace quarnel {
namespace {

constexpr std::int64_t kProbeBytes = 1024 * 1024;
constexpr std::size_t kPrivHeadStart = 0x11B;  // big-endian 64-bit: data area start, sectors
constexpr std::size_t kPrivHeadSize = 0x123;   // big-endian 64-bit: data area size, sectors
// Sectors one batch of a read assembles; bounds the staging memory.
constexpr std::int64_t kBatchSectors = 8192;

void xorInto(std::byte* dst, const std::byte* src, std::size_t n) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t a, b;
    std::memcpy(&a, dst + i, 8);
    std::memcpy(&b, src + i, 8);
    a ^= b;
    std::memcpy(dst + i, &a, 8);
  }
  for (; i < n; ++i) dst[i] ^= src[i];
}

}  // namespace

bool FileReadSeekRaid::isMissingName(const std::string& name) {
  static const std::string missing = kMissingDiskName;
  if (name.size() != missing.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(name[i])) != missing[i]) return false;
  return true;
}

RaidGeometry FileReadSeekRaid::geometry() const {
  RaidGeometry g;
  g.level = raidLevel == 5 ? 5 : 0;
  g.members = memberCount;
  g.layout = parityLayout;
  g.stripeSectors = stripeSectors;
  return g;
}

bool FileReadSeekRaid::fail(const std::string& why) {
  lastError_ = why;
  opened_ = false;
  return false;
}

std::int64_t FileReadSeekRaid::probeMemberOffset(const std::string& name) {
  if (isMissingName(name)) return 0;
  std::unique_ptr<readWriteInterface> probe;
  if (vhdMembers || hasVhdExtension(name)) {
    auto vhd = std::make_unique<FileReadSeekVHD>();
    vhd->setReporter(&reporter());
    if (!vhd->open(name)) return 0;
    probe = std::move(vhd);
  } else {
    RawFile f;
    if (!f.open(name)) return 0;
    probe = std::make_unique<FileReadSeek>(std::move(f));
  }
  std::vector<std::byte> head(kProbeBytes);
  probe->readAt(0, head);
  for (std::size_t at = 0; at + kSectorSize <= head.size(); at += kSectorSize) {
    ByteSpan sector(head.data() + at, kSectorSize);
    if (!hasText(sector, 0, "PRIVHEAD")) continue;
    auto start = static_cast<std::int64_t>(be64(sector, kPrivHeadStart));
    auto size = static_cast<std::int64_t>(be64(sector, kPrivHeadSize));
    if (start < 0 || size < 0) return 0;  // a damaged header: let the user type the offset
    if (stripeSectors > 0 && start % stripeSectors != 0)
      start = (start / stripeSectors + 1) * stripeSectors;
    if (size != 0) memberDataSectors = size;
    return start;
  }
  return 0;
}

std::unique_ptr<readWriteInterface> FileReadSeekRaid::openMember(std::size_t index) {
  const std::string& name = memberNames[index];
  const bool vhd = vhdMembers || hasVhdExtension(name);
  std::string where = "member " + std::to_string(index) + " (" + name + ")";
  if (isMissingName(name)) {
    if (vhd) return std::make_unique<FileReadSeekVHD>(FileReadSeekVHD::missing());
    return std::make_unique<FileReadSeek>(FileReadSeek::missing());
  }
  if (vhd) {
    auto source = std::make_unique<FileReadSeekVHD>();
    source->setReporter(&reporter());
    if (!source->open(name)) {
      fail(where + ": " + source->lastError());
      return nullptr;
    }
    return source;
  }
  RawFile file;
  if (!file.open(name)) {
    reporter().warning(WarningKind::Refused, "invalid handle ...");
    fail(where + ": " + file.error());
    return nullptr;
  }
  return std::make_unique<FileReadSeek>(std::move(file));
}

bool FileReadSeekRaid::open(const std::string&) {
  baseOffset = 0;
  position = 0;
  opened_ = false;
  members.clear();
  currentMember = nullptr;
  warnings_.clear();
  diskSectors_ = 0;
  currentDiskSectors = 0;
  memberCount = static_cast<std::int32_t>(memberNames.size());

  const std::int32_t n = memberCount;
  if (n == 0) return fail("no members given");
  if (raidLevel != 0 && raidLevel != 5)
    return fail("RAID level " + std::to_string(raidLevel) + " is not supported (0 or 5)");
  if (raidLevel == 5 && n < 3)
    return fail("RAID-5 needs at least three members, " + std::to_string(n) + " given");
  if (raidLevel == 5 && (parityLayout < kRightAsymmetric || parityLayout > kRightSymmetric))
    return fail("unknown parity layout " + std::to_string(parityLayout));
  if (stripeSectors < 1) return fail("the stripe size must be at least one sector");
  if (memberOffsets.size() < memberNames.size()) memberOffsets.resize(memberNames.size(), 0);
  const auto missing = std::count_if(memberNames.begin(), memberNames.end(), isMissingName);
  // Parity rebuilds one unit of a row, never two: the rest would be invented.
  if (raidLevel == 5 && missing >= 2)
    return fail("RAID-5 can rebuild one missing member; " + std::to_string(missing) + " are missing");
  for (std::size_t i = 0; i < memberNames.size(); ++i)
    for (std::size_t j = i + 1; j < memberNames.size(); ++j)
      if (!isMissingName(memberNames[i]) && !isMissingName(memberNames[j]) && sameFile(memberNames[i], memberNames[j]))
        return fail("members " + std::to_string(i) + " and " + std::to_string(j) + " are the same device or file (" +
                    memberNames[j] + ")");

  for (std::size_t i = 0; i < memberNames.size(); ++i) {
    if (memberOffsets[i] < 0)
      return fail("member " + std::to_string(i) + ": negative offset " +
                  std::to_string(memberOffsets[i]));
    auto member = openMember(i);
    if (!member) {
      members.clear();
      return false;
    }
    members.push_back(std::move(member));
  }

  // Every present member must hold its share past its offset; the shortest one ends the disk.
  std::int64_t shortest = std::numeric_limits<std::int64_t>::max();
  std::int64_t longest = 0;
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (members[i]->isMissing()) continue;
    std::int64_t avail = members[i]->sizeSectors() - memberOffsets[i];
    if (avail <= 0)
      return fail("member " + std::to_string(i) + " (" + memberNames[i] + "): offset " +
                  std::to_string(memberOffsets[i]) + " lies past its end (" +
                  std::to_string(members[i]->sizeSectors()) + " sectors)");
    shortest = std::min(shortest, avail);
    longest = std::max(longest, avail);
  }
  const bool anyPresent = longest > 0;
  if (anyPresent && shortest != longest) {
    for (std::size_t i = 0; i < members.size(); ++i)
      if (!members[i]->isMissing() && members[i]->sizeSectors() - memberOffsets[i] == shortest)
        warnings_.push_back("member " + std::to_string(i) + " (" + memberNames[i] + ") holds " +
                            std::to_string(shortest) + " sectors after its offset, fewer than "
                            "the others (" + std::to_string(longest) + "): the disk ends there");
  }

  if (raidLevel == 0 && missing > 0 && memberNames.size() > 1)
    warnings_.push_back("RAID-0 has no parity: the stripe units of the missing member" +
                        std::string(missing > 1 ? "s" : "") + " read as zeros");
  const std::int64_t data = dataMembers(geometry());
  std::int64_t perMember = 0;
  if (memberDataSectors > 0) {
    perMember = memberDataSectors;
    if (anyPresent && perMember > shortest)
      warnings_.push_back("the dynamic-disk header gives " + std::to_string(perMember) +
                          " sectors per member, but a member holds only " +
                          std::to_string(shortest));
  } else if (anyPresent) {
    // Whole stripe units only, so that every sector of the disk maps inside every member; one
    // disk read as it is keeps its last partial stripe.
    perMember = raidLevel == 0 && members.size() == 1 ? shortest : shortest / stripeSectors * stripeSectors;
  }
  diskSectors_ = perMember * data;
  currentDiskSectors = diskSectors_;
  currentMember = members.front().get();
  opened_ = true;
  lastError_.clear();
  return true;
}

bool FileReadSeekRaid::seek(std::int64_t offset, int moveMethod) {
  if (!opened_) return false;
  std::int64_t target = resolveSeek(offset, moveMethod);
  if (target < 0) return false;
  position = target - baseOffset;
  SectorLocation loc = mapSector(geometry(), target / kSectorSize);
  currentMember = members[static_cast<std::size_t>(loc.member)].get();
  if (!currentMember->isMissing()) return true;
  return std::any_of(members.begin(), members.end(),
                     [](const auto& m) { return !m->isMissing(); });
}

bool FileReadSeekRaid::read(void* buffer, std::uint32_t byteCount) {
  const std::int64_t sectors = byteCount / kSectorSize;
  if (!opened_ || sectors == 0) return false;
  const std::int64_t at = position + baseOffset;
  if (at < 0) return false;
  // A remainder below one sector is not read and keeps its bytes.
  bool ok = readSectors(at / kSectorSize, sectors, static_cast<std::byte*>(buffer));
  position += sectors * kSectorSize;
  seek(position, 0);
  return ok;
}

bool FileReadSeekRaid::readAt(std::int64_t offset, MutableByteSpan out) {
  if (!opened_ || offset < 0) {
    std::fill(out.begin(), out.end(), std::byte{0});
    return false;
  }
  if (out.empty()) return true;
  if (offset % kSectorSize == 0 && out.size() % kSectorSize == 0)
    return readSectors(offset / kSectorSize, static_cast<std::int64_t>(out.size()) / kSectorSize,
                       out.data());
  // Unaligned: read the covering sectors and copy the part asked for.
  const std::int64_t first = offset / kSectorSize;
  const std::int64_t last = (offset + static_cast<std::int64_t>(out.size()) - 1) / kSectorSize;
  std::vector<std::byte> cover(static_cast<std::size_t>((last - first + 1) * kSectorSize));
  bool ok = readSectors(first, last - first + 1, cover.data());
  std::memcpy(out.data(), cover.data() + (offset - first * kSectorSize), out.size());
  return ok;
}

bool FileReadSeekRaid::readSectors(std::int64_t firstSector, std::int64_t count, std::byte* out) {
  bool ok = true;
  for (std::int64_t done = 0; done < count; done += kBatchSectors) {
    std::int64_t n = std::min(kBatchSectors, count - done);
    ok = readBatch(firstSector + done, n, out + done * kSectorSize) && ok;
  }
  return ok;
}

// One read per member: the run of member sectors the batch touches on that member (for a
// missing member's units, the same rows on every present member). The run is scattered
// straight into the output where it holds requested data and into staging elsewhere
// (parity, rows needed only for a rebuild); missing units are then XORed together from
// wherever the other members' sectors landed.
FileReadSeekRaid::BatchScratch& FileReadSeekRaid::scratch() {
  static thread_local BatchScratch s;
  return s;
}

bool FileReadSeekRaid::readBatch(std::int64_t firstSector, std::int64_t count, std::byte* out) {
  const RaidGeometry g = geometry();
  const std::size_t n = members.size();
  BatchScratch& s = scratch();
  if (s.staging.size() < n) s.staging.resize(n);
  s.pieces.clear();
  s.lo.assign(n, std::numeric_limits<std::int64_t>::max());
  s.hi.assign(n, -1);
  auto extend = [&](std::size_t m, std::int64_t from, std::int64_t to) {
    s.lo[m] = std::min(s.lo[m], from);
    s.hi[m] = std::max(s.hi[m], to);
  };
  bool anyPresent = false;
  for (const auto& m : members) anyPresent = anyPresent || !m->isMissing();

  for (std::int64_t v = firstSector; v < firstSector + count;) {
    SectorLocation loc = mapSector(g, v);
    std::int64_t within = v % g.stripeSectors;
    std::int64_t len = std::min(g.stripeSectors - within, firstSector + count - v);
    s.pieces.push_back({loc.member, loc.memberSector, len, v - firstSector});
    auto m = static_cast<std::size_t>(loc.member);
    if (!members[m]->isMissing()) {
      extend(m, loc.memberSector, loc.memberSector + len);
    } else if (raidLevel != 0) {
      for (std::size_t p = 0; p < n; ++p)
        if (!members[p]->isMissing()) extend(p, loc.memberSector, loc.memberSector + len);
    }
    v += len;
  }

  // Per member, its pieces come in rising member-sector order: fill the gaps from staging.
  bool ok = true;
  s.segments.assign(n, {});
  for (std::size_t p = 0; p < n; ++p) {
    if (s.hi[p] < 0) continue;
    auto& stage = s.staging[p];
    stage.resize(static_cast<std::size_t>((s.hi[p] - s.lo[p]) * kSectorSize));
    auto& segs = s.segments[p];
    std::int64_t cursor = s.lo[p];
    auto gapTo = [&](std::int64_t to) {
      if (to > cursor)
        segs.push_back({cursor, to - cursor, stage.data() + (cursor - s.lo[p]) * kSectorSize});
      cursor = std::max(cursor, to);
    };
    for (const Piece& piece : s.pieces) {
      if (static_cast<std::size_t>(piece.member) != p) continue;
      gapTo(piece.memberSector);
      segs.push_back({piece.memberSector, piece.sectors, out + piece.outSector * kSectorSize});
      cursor = piece.memberSector + piece.sectors;
    }
    gapTo(s.hi[p]);
    s.parts.clear();
    for (const Segment& seg : segs)
      s.parts.emplace_back(seg.data, static_cast<std::size_t>(seg.sectors * kSectorSize));
    if (!members[p]->readAt((memberOffsets[p] + s.lo[p]) * kSectorSize, s.parts)) {
      lastError_ = "member " + std::to_string(p) + " (" + memberNames[p] +
                   "): " + members[p]->lastError();
      ok = false;
    }
  }

  for (const Piece& piece : s.pieces) {
    if (!members[static_cast<std::size_t>(piece.member)]->isMissing()) continue;
    std::byte* dst = out + piece.outSector * kSectorSize;
    std::memset(dst, 0, static_cast<std::size_t>(piece.sectors * kSectorSize));
    if (raidLevel == 0) {
      // Nothing to rebuild from: zeros, and the read says they are not data.
      lastError_ = "member " + std::to_string(piece.member) + " is missing and a RAID-0 cannot rebuild it";
      ok = false;
      continue;
    }
    const std::int64_t from = piece.memberSector, to = from + piece.sectors;
    for (std::size_t p = 0; p < n; ++p) {
      if (members[p]->isMissing()) continue;
      for (const Segment& seg : s.segments[p]) {
        std::int64_t a = std::max(from, seg.memberSector);
        std::int64_t b = std::min(to, seg.memberSector + seg.sectors);
        if (a >= b) continue;
        xorInto(dst + (a - from) * kSectorSize, seg.data + (a - seg.memberSector) * kSectorSize,
                static_cast<std::size_t>((b - a) * kSectorSize));
      }
    }
  }
  if (!anyPresent) {
    lastError_ = "no member is present to rebuild the missing ones from";
    ok = false;
  }
  return ok;
}

bool FileReadSeekRaid::rotateMembers(std::string* nameWindow) {
  if (memberNames.size() < 2) return false;
  std::rotate(memberNames.begin(), memberNames.begin() + 1, memberNames.end());
  if (members.size() == memberNames.size()) {
    std::rotate(members.begin(), members.begin() + 1, members.end());
    currentMember = members.front().get();
  }
  if (nameWindow) *nameWindow = memberNames.front();
  return true;
}

}  // namespace quarnel

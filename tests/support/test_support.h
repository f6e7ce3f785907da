// Helpers shared by the test suites: fixture paths, scratch folders, files of bytes, and
// running the quarnel binary.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quarnel::test {

// An unpacked fixture image from tests/fixtures/images (without the .zst ending).
std::string fixture(const std::string& name);
bool haveFixture(const std::string& name);

// A fresh folder under the system's temporary folder, removed with the object.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

std::vector<std::uint8_t> readFile(const std::string& path);
void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
// Hex SHA-256 of a file's bytes (for ground-truth lists).
std::string sha256File(const std::string& path);
// Ground-truth lines of tests/fixtures/<dir>/<name>.tsv, split at tabs.
std::vector<std::vector<std::string>> groundTruth(const std::string& relativePath);
// Deterministic pseudo-random bytes.
std::vector<std::uint8_t> randomBytes(std::size_t n, std::uint32_t seed);

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};
// Runs the quarnel binary with the arguments (no shell involved).
RunResult runQuarnel(const std::vector<std::string>& args);
// Runs the test tools' RAID splitter: tests/tools/raid_split.py ARGS.
int runSplitter(const std::vector<std::string>& args);

}  // namespace quarnel::test

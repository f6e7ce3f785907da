#include "support/test_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <fstream>
#include <random>
#include <sstream>

extern char** environ;

namespace quarnel::test {
namespace fs = std::filesystem;

std::string fixture(const std::string& name) { return std::string(QUARNEL_FIXTURE_DIR) + "/" + name; }
bool haveFixture(const std::string& name) { return fs::exists(fixture(name)); }

ScratchDir::ScratchDir() {
  std::string tmpl = (fs::temp_directory_path() / "quarnel-test-XXXXXX").string();
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  path_ = ::mkdtemp(buf.data());
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::vector<std::uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string sha256Hex(const void* data, std::size_t n) {
  Sha256 h;
  h.update(static_cast<const std::uint8_t*>(data), n);
  return h.hex();
}

std::string sha256File(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  Sha256 h;
  std::vector<char> buf(1 << 16);
  while (in.read(buf.data(), static_cast<std::streamsize>(buf.size())) || in.gcount() > 0)
    h.update(reinterpret_cast<const std::uint8_t*>(buf.data()), static_cast<std::size_t>(in.gcount()));
  return h.hex();
}

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
    fields.push_back(line.substr(start, tab - start));
  fields.push_back(line.substr(start));
  return fields;
}

std::map<std::string, std::vector<std::string>> listingByPath(const std::string& tsv) {
  std::map<std::string, std::vector<std::string>> out;
  std::istringstream in(tsv);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> f = splitTabs(line);
    if (f.size() == 5) out[f[4]] = std::move(f);
  }
  return out;
}

std::string mtimeText(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return "absent";
  char iso[32];
  std::tm tm{};
  gmtime_r(&st.st_mtime, &tm);
  std::strftime(iso, sizeof iso, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return iso;
}

std::vector<std::vector<std::string>> groundTruth(const std::string& relativePath) {
  std::ifstream in(std::string(QUARNEL_SOURCE_DIR) + "/tests/fixtures/" + relativePath);
  std::vector<std::vector<std::string>> out;
  std::string line;
  while (std::getline(in, line)) {
    out.push_back(splitTabs(line));
  }
  return out;
}

std::vector<std::uint8_t> randomBytes(std::size_t n, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint8_t> v(n);
  for (auto& b : v) b = static_cast<std::uint8_t>(rng());
  return v;
}

namespace {

int spawnAndWait(const std::vector<std::string>& argv, const std::string& outPath,
                 const std::string& errPath) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> cargv;
  for (const auto& a : argv) cargv.push_back(const_cast<char*>(a.c_str()));
  cargv.push_back(nullptr);
  pid_t pid = 0;
  int rc = posix_spawnp(&pid, cargv[0], &actions, nullptr, cargv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace

RunResult runQuarnel(const std::vector<std::string>& args) {
  ScratchDir tmp;
  std::vector<std::string> argv{QUARNEL_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  RunResult r;
  r.status = spawnAndWait(argv, tmp.file("out"), tmp.file("err"));
  r.out = slurp(tmp.file("out"));
  r.err = slurp(tmp.file("err"));
  return r;
}

int runSplitter(const std::vector<std::string>& args) {
  ScratchDir tmp;
  std::vector<std::string> argv{"python3", std::string(QUARNEL_SOURCE_DIR) + "/tests/tools/raid_split.py"};
  argv.insert(argv.end(), args.begin(), args.end());
  return spawnAndWait(argv, tmp.file("out"), tmp.file("err"));
}

}  // namespace quarnel::test

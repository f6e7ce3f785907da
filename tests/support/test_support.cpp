#include "support/test_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

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

#include "recovery/name_search.h"

#include <gtest/gtest.h>

#include "recovery/memory_view.h"

namespace quarnel {
namespace {

struct Recorder : Reporter {
  std::vector<std::string> statuses, messages;
  void status(std::string_view t) override { statuses.emplace_back(t); }
  void message(std::string_view t) override { messages.emplace_back(t); }
};

class NameSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    EntryId pics = v_.add(0, "Pictures", true);
    v_.add(pics, "a.jpg", false);
    v_.add(pics, "A.JPG", false);
    EntryId deep = v_.add(pics, "never opened", true);
    v_.add(deep, "jpgfile.txt", false);
    v_.add(deep, "logo.png", false);
    v_.add(0, "top.jpg", false);
    v_.add(0, "Empty", true);  // no children: taken as a file at the top level
  }
  std::vector<std::string> paths(const std::string& pattern, SearchEnd want = SearchEnd::Finished) {
    std::vector<SearchRow> rows;
    EXPECT_EQ(searchNames(v_, pattern, r_, stop_, rows), want) << pattern;
    std::vector<std::string> out;
    for (const auto& row : rows) out.push_back(row.path);
    return out;
  }
  test::MemoryView v_;
  Recorder r_;
  JobControl stop_;
};

TEST_F(NameSearch, PatternsMatchAnywhereCaseSensitively) {
  using P = std::vector<std::string>;
  EXPECT_EQ(paths("jpg"), (P{"/Pictures/a.jpg", "/Pictures/never opened/jpgfile.txt", "/top.jpg"}));
  EXPECT_EQ(paths("\\.jpg$|\\.png$"), (P{"/Pictures/a.jpg", "/Pictures/never opened/logo.png", "/top.jpg"}));
  EXPECT_EQ(paths("Emp"), (P{"/Empty"}));
  EXPECT_EQ(r_.statuses.back(), "Searching Finished");
  EXPECT_EQ(r_.messages.back(), "Searching Finished");
  EXPECT_EQ(paths(""), P{});
}

TEST_F(NameSearch, CountsFoundFilesInTheStatusLine) {
  paths("\\.");
  std::vector<std::string> counted;
  for (const auto& s : r_.statuses)
    if (s.rfind("searched file ", 0) == 0) counted.push_back(s);
  EXPECT_EQ(counted, (std::vector<std::string>{"searched file 1", "searched file 2", "searched file 3",
                                               "searched file 4", "searched file 5"}));
}

TEST_F(NameSearch, InvalidPatternSaysSoAtTheFirstTopLevelFile) {
  EXPECT_TRUE(paths("*.jpg", SearchEnd::InvalidPattern).empty());
  EXPECT_EQ(r_.messages, (std::vector<std::string>{
      "such characters are not allowed for search.Try again with different pattern."}));
}

}  // namespace
}  // namespace quarnel

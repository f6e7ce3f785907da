#include "recovery/name_search.h"

#include <optional>
#include <regex>
#include <set>

#include "recovery/save_walk.h"

namespace quarnel {
namespace {

constexpr const char* kInvalid =
    "such characters are not allowed for search.Try again with different pattern.";

struct Search {
  const EntryView& view;
  const std::regex& expression;
  Reporter& reporter;
  JobControl& job;
  std::vector<SearchRow>& rows;
  std::set<EntryId> seen;

  void add(EntryId e, const std::string& path) {
    rows.push_back({path, e, view.texts(e), view.sizeText(e)});
    reporter.status("searched file " + std::to_string(rows.size()));
  }

  // An expression that fails while matching ends the folder's walk, as a bad one does.
  bool matches(EntryId e, bool& failed) const {
    try {
      return std::regex_search(view.name(e), expression);
    } catch (const std::regex_error&) {
      failed = true;
      return false;
    }
  }

  void walk(EntryId folder, const std::string& path) {
    if (!seen.insert(folder).second) return;
    for (EntryId child : view.children(folder)) {
      if (job.shouldStop()) return;
      job.setDone(static_cast<std::int64_t>(rows.size()));
      if (view.isFolderForSaving(child)) {
        if (!view.descendWhenSaving(child)) continue;
        std::string name = view.name(child);
        walk(child, name.empty() ? path : path + "/" + name);
      } else if (view.isFileForSaving(child)) {
        bool failed = false;
        if (matches(child, failed)) add(child, path + "/" + view.name(child));
        if (failed) return;
      }
    }
  }
};

}  // namespace

SearchEnd searchNames(const EntryView& view, const std::string& pattern, Reporter& reporter,
                      JobControl& job, std::vector<SearchRow>& rows) {
  rows.clear();
  auto finished = [&] {
    reporter.finished("Searching Finished");
    reporter.status("Searching Finished");
    return SearchEnd::Finished;
  };
  if (pattern.empty()) return finished();
  std::optional<std::regex> expression;
  try {
    expression.emplace(pattern, std::regex::ECMAScript);
  } catch (const std::regex_error&) {
  }
  const EntryId root = view.root();
  Search search{view, expression ? *expression : std::regex(), reporter, job, rows, {}};
  for (EntryId item : view.children(root)) {
    if (job.shouldStop()) break;
    const std::string name = view.name(item);
    if (view.hasChildren(item)) {
      // A first-level folder: a pattern that is not an expression finds nothing in it.
      if (!expression || !view.isFolderForSaving(item) || !view.descendWhenSaving(item)) continue;
      const std::int64_t count = countFiles(view, item);
      job.beginPhase(0, count);
      search.walk(item, "/" + name);
    } else {
      // Without children the item is taken as a file, whatever it is.
      if (!expression) {
        reporter.warning(WarningKind::Notice, kInvalid);
        return SearchEnd::InvalidPattern;
      }
      bool failed = false;
      if (search.matches(item, failed)) search.add(item, "/" + name);
    }
  }
  return finished();
}

}  // namespace quarnel

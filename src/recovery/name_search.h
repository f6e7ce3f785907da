// Finding files by name across a whole parsed volume, folders never opened included: an
// ECMAScript regular expression, case-sensitive, matching anywhere in the name.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "platform/job.h"
#include "platform/reporter.h"
#include "recovery/entry_view.h"

namespace quarnel {

struct SearchRow {
  std::string path;  // "/" + the folder names + the file's name
  EntryId entry = kNoEntry;
  EntryTexts texts;
  std::string sizeText;
};

enum class SearchEnd {
  Finished,        // "Searching Finished" was said
  InvalidPattern,  // "such characters are not allowed for search..." was said
};

// Rows are appended in walk order (depth first, children in link order). A stop request
// ends the search; the rows found so far are kept.
SearchEnd searchNames(const EntryView& view, const std::string& pattern, Reporter& reporter,
                      JobControl& job, std::vector<SearchRow>& rows);

}  // namespace quarnel

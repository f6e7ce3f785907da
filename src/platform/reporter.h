// What long work tells the person in front of it: a status line, a progress bar and message
// boxes. The engine never prints; a page, the command line or a test implements this.
#pragma once

#include <cstdint>
#include <string_view>

namespace quarnel {

inline constexpr std::string_view kCaption = "Quarnel v1.0";

// A status line that counts records is said once per this many records and at the last one,
// so that a million records cost a few hundred lines, not a million.
inline constexpr long long kStatusEvery = 4096;

enum class WarningKind {
  Damaged,     // a table, boot sector or record is not what it should be
  Unreadable,  // the input could not be read
  Notice,      // information only (a file-system version, an empty volume, a bad pattern)
  Refused,     // an input was refused; the error the caller gets says why in full
};

class Reporter {
 public:
  virtual ~Reporter() = default;
  virtual void status(std::string_view /*text*/) {}
  virtual void progressRange(std::int64_t /*low*/, std::int64_t /*high*/) {}
  virtual void progressPosition(std::int64_t /*position*/) {}
  // A message box with the caption kCaption and the information icon.
  virtual void message(std::string_view /*text*/) {}
  // Something worth knowing that did not stop the work, by kind, so a front end can tell a
  // damaged structure from a notice without reading the text; a message box by default.
  virtual void warning(WarningKind /*kind*/, std::string_view text) { message(text); }
  // The end of a piece of work ("done...", "Searching Finished"); a message box by default.
  virtual void finished(std::string_view text) { message(text); }
  // The small label beside the status line ("File size: ... kb").
  virtual void detail(std::string_view /*text*/) {}
};

// Used where nobody listens.
Reporter& silentReporter();

}  // namespace quarnel

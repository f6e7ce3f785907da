// Reports for a person at a terminal: message boxes become lines on stderr, and progress
// draws a bar on stderr when stderr is a terminal.
#pragma once

#include <cstdint>
#include <string>

#include "volumes/partition.h"

namespace quarnel::cli {

class TerminalReporter : public VolumeReporter {
 public:
  explicit TerminalReporter(bool showProgress);
  ~TerminalReporter() override;

  void status(std::string_view text) override;
  void progressRange(std::int64_t low, std::int64_t high) override;
  void progressPosition(std::int64_t position) override;
  void message(std::string_view text) override;
  // A refusal's box is the window's (the command's own error line says it in full); a notice
  // is said but is no trouble.
  void warning(WarningKind kind, std::string_view text) override;
  // Messages and warnings of trouble said so far.
  int messageCount() const { return messages_; }
  // Ends the bar's line, if one is drawn.
  void finish();

 private:
  void draw();

  bool showProgress_;
  bool drawn_ = false;
  std::int64_t low_ = 0, high_ = 0, pos_ = 0;
  int lastPercent_ = -1;
  int messages_ = 0;
  std::string status_;
};

// "quarnel: " + text on stderr.
void printError(const std::string& text);

}  // namespace quarnel::cli

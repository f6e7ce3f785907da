#include "cli/terminal_reporter.h"

#include <cstdio>

namespace quarnel::cli {

TerminalReporter::TerminalReporter(bool showProgress) : showProgress_(showProgress) {}
TerminalReporter::~TerminalReporter() { finish(); }

void TerminalReporter::status(std::string_view text) {
  status_.assign(text);
  if (showProgress_) draw();
}

void TerminalReporter::progressRange(std::int64_t low, std::int64_t high) {
  low_ = low;
  high_ = high;
  pos_ = low;
  lastPercent_ = -1;
  if (showProgress_) draw();
}

void TerminalReporter::progressPosition(std::int64_t position) {
  pos_ = position;
  if (!showProgress_ || high_ <= low_) return;
  int percent = static_cast<int>((pos_ - low_) * 100 / (high_ - low_));
  if (percent != lastPercent_) draw();
}

void TerminalReporter::message(std::string_view text) {
  finish();
  ++messages_;
  std::fprintf(stderr, "quarnel: %.*s\n", static_cast<int>(text.size()), text.data());
}

void TerminalReporter::warning(WarningKind kind, std::string_view text) {
  if (kind == WarningKind::Refused) return;
  message(text);
  if (kind == WarningKind::Notice) --messages_;
}

void TerminalReporter::draw() {
  constexpr int kWidth = 30;
  int percent = high_ > low_ ? static_cast<int>((pos_ - low_) * 100 / (high_ - low_)) : 0;
  percent = percent < 0 ? 0 : percent > 100 ? 100 : percent;
  lastPercent_ = percent;
  std::string bar(static_cast<std::size_t>(percent * kWidth / 100), '#');
  bar.resize(kWidth, ' ');
  std::fprintf(stderr, "\r[%s] %3d%%  %-40.40s", bar.c_str(), percent, status_.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void TerminalReporter::finish() {
  if (drawn_) std::fputc('\n', stderr);
  drawn_ = false;
}

void printError(const std::string& text) { std::fprintf(stderr, "quarnel: %s\n", text.c_str()); }

}  // namespace quarnel::cli

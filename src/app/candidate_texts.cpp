#include "app/candidate_texts.h"

namespace quarnel::app {

std::string_view candidateLabel(FatKind kind) {
  switch (kind) {
    case FatKind::Fat16: return "Total fat16 Entries Found:";
    case FatKind::Exfat: return "Total fat64 Entries Found:";
    case FatKind::Fat32: break;
  }
  return {};
}

std::string candidateMessage(FatKind kind, const FatCandidateResults& found) {
  const std::string n = std::to_string(found.candidatePositions.size());
  switch (kind) {
    case FatKind::Fat32:
      if (found.candidatePositions.empty()) return "NO FAT  FAT32-ENTRY found ..";
      return "Number of FAT32-ENTRY found = " + n +
             " . Please select the choice from combo box and click Next button to proceed.";
    case FatKind::Fat16:
      return "Number of FAT-ENTRY found = " + n +
             " . Please select the choice from combo box and click Next button to proceed.";
    case FatKind::Exfat:
      return "Number of FAT64-ENTRY found = " + n + " and Number of HeapOffset-ENTRY found =  " +
             std::to_string(found.heapPositions.size()) +
             "  . Please select the choice from ( Entry and Heap ) Combobox and click Parse button to proceed.";
  }
  return {};
}

std::string_view candidateStatus(FatKind kind, const FatCandidateResults& found) {
  if (kind == FatKind::Fat32 && found.candidatePositions.empty()) return {};
  return "Parsing done.Click Next to continue.";
}

}  // namespace quarnel::app

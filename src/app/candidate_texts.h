// What the advanced-input page says about a FAT-family candidate search: the label of the
// candidate box, the message box at the end and the status line. Made here, from the
// search's values, so the engine holds no page text.
#pragma once

#include <string>
#include <string_view>

#include "fs/fat/fat_candidate_workers.h"

namespace quarnel::app {

enum class FatKind { Fat32, Fat16, Exfat };

// "Total fat16 Entries Found:" (empty where the page has no label).
std::string_view candidateLabel(FatKind kind);
// "Number of FAT32-ENTRY found = 2 . Please select the choice from combo box and click ..."
std::string candidateMessage(FatKind kind, const FatCandidateResults& found);
// "Parsing done.Click Next to continue.", or empty where the page says nothing more.
std::string_view candidateStatus(FatKind kind, const FatCandidateResults& found);

}  // namespace quarnel::app

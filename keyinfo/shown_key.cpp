#include "keyinfo/shown_key.h"

namespace {

// The value of the first row captioned `caption`, or empty.
std::string ValueOfRow(const ReportList& list, const std::string& caption) {
  for (size_t row = 0; row < list.RowCount(); ++row) {
    if (list.Cell(row, 0) == caption) return list.Cell(row, 1);
  }
  return std::string();
}

}  // namespace

void ShownKeyIds(const QuillmarkModel& model, std::string* vidText, std::string* pidText) {
  *vidText = ValueOfRow(model.infoList, "VID");
  *pidText = ValueOfRow(model.infoList, "PID");
  // One id alone would select nothing more than none: take the first key.
  if (vidText->empty() || pidText->empty()) {
    vidText->clear();
    pidText->clear();
  }
}

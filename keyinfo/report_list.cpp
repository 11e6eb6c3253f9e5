#include "keyinfo/report_list.h"

void ReportList::Clear() {
  rows_.clear();
  if (observer_ != nullptr) observer_->ReportListCleared();
}

size_t ReportList::AppendRow(const std::string& caption) {
  rows_.push_back({ToValidUtf8(caption)});
  const size_t row = rows_.size() - 1;
  if (observer_ != nullptr) observer_->ReportListRowAppended(row);
  return row;
}

size_t ReportList::AppendRow(const std::string& caption, const std::string& value) {
  rows_.push_back({ToValidUtf8(caption), ToValidUtf8(value)});
  const size_t row = rows_.size() - 1;
  if (observer_ != nullptr) observer_->ReportListRowAppended(row);
  return row;
}

void ReportList::SetCell(size_t row, size_t column, const std::string& text) {
  if (row >= rows_.size()) return;
  std::vector<std::string>& cells = rows_[row];
  if (cells.size() <= column) cells.resize(column + 1);
  cells[column] = ToValidUtf8(text);
  if (observer_ != nullptr) observer_->ReportListCellChanged(row, column);
}

std::string ReportList::Cell(size_t row, size_t column) const {
  if (row >= rows_.size() || column >= rows_[row].size()) return std::string();
  return rows_[row][column];
}

std::string ToValidUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  const size_t n = text.size();
  size_t i = 0;
  auto continuation = [&](size_t at) {
    return at < n && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
  };
  while (i < n) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    if (lead < 0x80) {
      length = 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
    }
    bool good = length > 0;
    for (size_t k = 1; good && k < length; ++k) good = continuation(i + k);
    if (good && length >= 3) {
      const unsigned char second = static_cast<unsigned char>(text[i + 1]);
      // Overlong forms, surrogates and code points above U+10FFFF.
      if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
          (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F)) {
        good = false;
      }
    }
    if (good) {
      out.append(text, i, length);
      i += length;
    } else {
      out += "\xEF\xBF\xBD";
      ++i;
    }
  }
  return out;
}

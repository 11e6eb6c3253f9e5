// One report list of the main window: ordered rows of text cells, cell 0 the
// row's item text. Rows are only appended at the end, or the list is emptied
// whole. Texts are UTF-8; a view follows changes through an observer.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class ReportListObserver {
 public:
  virtual ~ReportListObserver() = default;
  virtual void ReportListCleared() = 0;
  virtual void ReportListRowAppended(size_t row) = 0;
  virtual void ReportListCellChanged(size_t row, size_t column) = 0;
};

class ReportList {
 public:
  void Clear();
  size_t RowCount() const { return rows_.size(); }
  // Appends a row with `caption` as its item text; answers its index.
  size_t AppendRow(const std::string& caption);
  // The same, with `value` as the text of cell 1.
  size_t AppendRow(const std::string& caption, const std::string& value);
  // Sets a further cell of an existing row; a row out of range is ignored.
  void SetCell(size_t row, size_t column, const std::string& text);
  // The text of a cell; empty for a cell never set or out of range.
  std::string Cell(size_t row, size_t column) const;
  // Cells of a row as set so far (cells never set are not stored).
  const std::vector<std::string>& Row(size_t row) const { return rows_.at(row); }

  void SetObserver(ReportListObserver* observer) { observer_ = observer; }

 private:
  std::vector<std::vector<std::string>> rows_;
  ReportListObserver* observer_ = nullptr;
};

// Makes `text` valid UTF-8: each byte that does not start a well-formed
// character becomes U+FFFD, so no cell carries bytes a view cannot show.
std::string ToValidUtf8(const std::string& text);

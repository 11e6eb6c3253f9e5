#include "app/report_format.h"

#include <algorithm>
#include <nlohmann/json.hpp>

namespace {

// Characters, not bytes, so that columns line up on a terminal.
size_t DisplayWidth(const std::string& text) {
  size_t width = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) != 0x80) ++width;
  }
  return width;
}

}  // namespace

std::vector<ReportPage> ReportPages(const QuillmarkModel& model, bool withSecurityKeyInfo) {
  std::vector<ReportPage> pages;
  for (size_t index = 0; index < model.Pages().size(); ++index) {
    const ModelPage& page = model.Pages()[index];
    if (page.onlyWithSecurityKeyInfo && !withSecurityKeyInfo) continue;
    pages.push_back({page.caption, page.columns, &model.PageList(index)});
  }
  return pages;
}

std::string FormatReportText(const std::vector<ReportPage>& pages) {
  std::string out;
  for (size_t p = 0; p < pages.size(); ++p) {
    const ReportPage& page = pages[p];
    if (p > 0) out += "\n";
    out += page.caption + "\n";

    std::vector<std::vector<std::string>> table;
    table.push_back(page.columns);
    for (size_t row = 0; row < page.list->RowCount(); ++row) {
      std::vector<std::string> cells;
      for (size_t column = 0; column < page.columns.size(); ++column) {
        cells.push_back(page.list->Cell(row, column));
      }
      table.push_back(std::move(cells));
    }
    std::vector<size_t> widths(page.columns.size(), 0);
    for (const auto& cells : table) {
      for (size_t column = 0; column < cells.size(); ++column) {
        widths[column] = std::max(widths[column], DisplayWidth(cells[column]));
      }
    }
    for (const auto& cells : table) {
      std::string line = "  ";
      for (size_t column = 0; column < cells.size(); ++column) {
        line += cells[column];
        if (column + 1 < cells.size()) {
          line += std::string(widths[column] - DisplayWidth(cells[column]) + 2, ' ');
        }
      }
      // Padding of trailing empty cells says nothing.
      while (!line.empty() && line.back() == ' ' && cells.back().empty()) line.pop_back();
      out += line + "\n";
    }
  }
  return out;
}

std::string FormatReportJson(const std::vector<ReportPage>& pages) {
  nlohmann::ordered_json document;
  document["pages"] = nlohmann::ordered_json::array();
  for (const ReportPage& page : pages) {
    nlohmann::ordered_json entry;
    entry["caption"] = page.caption;
    entry["columns"] = page.columns;
    entry["rows"] = nlohmann::ordered_json::array();
    for (size_t row = 0; row < page.list->RowCount(); ++row) {
      nlohmann::ordered_json cells = nlohmann::ordered_json::array();
      for (size_t column = 0; column < page.columns.size(); ++column) {
        cells.push_back(page.list->Cell(row, column));
      }
      entry["rows"].push_back(std::move(cells));
    }
    document["pages"].push_back(std::move(entry));
  }
  return document.dump(2) + "\n";
}

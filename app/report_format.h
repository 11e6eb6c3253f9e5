// The headless report: the lists of the window, page by page, as aligned text
// or as JSON.
#pragma once

#include <string>
#include <vector>

#include "keyinfo/quillmark_model.h"

struct ReportPage {
  std::string caption;
  std::vector<std::string> columns;
  const ReportList* list;
};

// The model's pages in the window's order; "Security Key info" only when
// asked for.
std::vector<ReportPage> ReportPages(const QuillmarkModel& model, bool withSecurityKeyInfo);

std::string FormatReportText(const std::vector<ReportPage>& pages);
std::string FormatReportJson(const std::vector<ReportPage>& pages);

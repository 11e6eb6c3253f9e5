// Where "Save report..." writes: the window asks a file dialog, tests answer
// in memory.
#pragma once

#include <string>

class ReportFileChooser {
 public:
  virtual ~ReportFileChooser() = default;
  // The file to save the report as; false when the user cancelled.
  virtual bool ChooseReportFile(std::string* path) = 0;
};

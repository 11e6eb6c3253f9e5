// "Save report...": the pages as the window shows them, in the text or JSON
// form of `quillmark --report`, written to a file whole or not at all.
#pragma once

#include <string>

#include "app/report_file_chooser.h"
#include "attestation/user_prompt.h"
#include "keyinfo/quillmark_model.h"

// The extension a report file gets when its name has none.
extern const char* const REPORT_DEFAULT_EXTENSION;  // ".txt"

enum class ReportFileFormat { kText, kJson };

// JSON for a name ending in ".json" (any case), text otherwise.
ReportFileFormat ReportFormatForPath(const std::string& path);
// `path`, with REPORT_DEFAULT_EXTENSION added when its file name has no
// extension.
std::string WithReportExtension(const std::string& path);

// Writes `contents` to a new file beside `path` and renames it to `path`, so
// that `path` holds either its old contents or all of the new. False, with
// the reason in `error`, when that could not be done; nothing new is left.
bool WriteFileWhole(const std::string& path, const std::string& contents, std::string* error);

// Asks `chooser` for the file and writes the report of `model`'s shown pages
// there; a failure is told through `prompt`. True when a file was written.
bool SaveReport(const QuillmarkModel& model, ReportFileChooser& chooser, UserPrompt& prompt);

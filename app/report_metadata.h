// The "Metadata" page of the headless report.
#pragma once

#include <iosfwd>

#include "app/command_line.h"
#include "keyinfo/quillmark_model.h"
#include "metadata/mds_blob.h"
#include "metadata/utc_date.h"

// Reads the file of --mds (else the cached copy) with the roots of
// --mds-root, and fills the page. A line on `err` says which file is read;
// a root file that cannot be used is reported there and leaves the page
// without a file.
void ShowReportMetadata(const CommandLine& line, QuillmarkModel& model, const WallClock& clock,
                        std::ostream& err);
// The same file read into `blob`, for a caller that fills the page later.
void LoadReportMetadata(const CommandLine& line, const WallClock& clock, std::ostream& err,
                        MdsBlob& blob);

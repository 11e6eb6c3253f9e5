#include "app/report_metadata.h"

#include <ostream>

#include "app/metadata_source.h"
#include "keyinfo/metadata_rows.h"

void LoadReportMetadata(const CommandLine& line, const WallClock& clock, std::ostream& err,
                        MdsBlob& blob) {
  TrustStore trust;
  std::string error;
  if (!LoadTrustRoots(line.mdsRoots, trust, error)) {
    err << "quillmark: " << error << "\n";
  } else {
    const std::string path = line.mdsFile.empty() ? MetadataCachePath() : line.mdsFile;
    LoadShownMetadata(line.mdsFile, trust, clock, blob);
    if (blob.verdict != MdsVerdict::kNone) {
      err << "quillmark: read the metadata file " << path << "\n";
    }
  }
}

void ShowReportMetadata(const CommandLine& line, QuillmarkModel& model, const WallClock& clock,
                        std::ostream& err) {
  MdsBlob blob;
  LoadReportMetadata(line, clock, err, blob);
  ShowMetadataPage(model, blob, clock.NowUnixSeconds());
}

#include "keyinfo/metadata_rows.h"

#include <cctype>

#include "metadata/attestation_verdict.h"
#include "metadata/metadata_page.h"

const char* const METADATA_PAGE_CAPTION = "Metadata";

namespace {

const ReportList* FindMetadataList(const QuillmarkModel& model) {
  for (size_t page = 0; page < model.Pages().size(); ++page) {
    if (model.Pages()[page].caption == METADATA_PAGE_CAPTION) return &model.PageList(page);
  }
  return nullptr;
}

}  // namespace

MetadataKeyFacts MetadataKeyFactsOf(const QuillmarkModel& model) {
  MetadataKeyFacts key;
  for (char c : model.aaguidText) {
    key.aaguid += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  key.getInfo = model.getInfoAnswer;
  key.attestationChain = model.attestationChain;
  key.u2fAttestation = model.attestationFromU2f;
  key.signature = model.attestationSignature;
  key.signatureProblem = model.attestationSignatureProblem;
  key.authDataAaguid = model.attestationAuthDataAaguid;
  return key;
}

void ShowMetadataPage(QuillmarkModel& model, const MdsBlob& blob, int64_t nowUnixSeconds) {
  ReportList* list = model.FindPage(METADATA_PAGE_CAPTION);
  if (list == nullptr) return;
  list->Clear();
  // No key, no page: the rows would describe nothing.
  if (model.infoList.RowCount() == 0) return;

  const MetadataKeyFacts key = MetadataKeyFactsOf(model);
  for (const MetadataRow& row : BuildMetadataRows(blob, key, nowUnixSeconds)) {
    list->AppendRow(ToValidUtf8(row.item), ToValidUtf8(row.value));
  }
}

std::string MetadataVerdictOfKey(const QuillmarkModel& model) {
  const ReportList* list = FindMetadataList(model);
  if (list == nullptr) return {};
  for (size_t row = 0; row < list->RowCount(); ++row) {
    if (list->Cell(row, 0) == METADATA_VERDICT_ITEM) return VerdictOf(list->Cell(row, 1));
  }
  return {};
}

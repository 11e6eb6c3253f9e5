// The "Metadata" page of the model, filled from a metadata file and what the
// refresh and the last fetch learned about the key.
#pragma once

#include <cstdint>
#include <string>

#include "keyinfo/quillmark_model.h"
#include "metadata/mds_blob.h"
#include "metadata/metadata_page.h"

extern const char* const METADATA_PAGE_CAPTION;  // "Metadata"

// What the refresh and the last fetch learned about the key, as the page and
// the policy judge it.
MetadataKeyFacts MetadataKeyFactsOf(const QuillmarkModel& model);

// Replaces the page's rows. `now` judges the attestation chain's validity.
void ShowMetadataPage(QuillmarkModel& model, const MdsBlob& blob, int64_t nowUnixSeconds);

// The verdict words of the page's "Attestation chain" row ("genuine", "not
// genuine", "cannot be trusted", "cannot be verified"), or empty when the
// page has none.
std::string MetadataVerdictOfKey(const QuillmarkModel& model);

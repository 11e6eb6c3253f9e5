// The "Metadata" page of the model, filled from a metadata file and what the
// refresh and the last fetch learned about the key.
#pragma once

#include <cstdint>

#include "keyinfo/quillmark_model.h"
#include "metadata/mds_blob.h"

extern const char* const METADATA_PAGE_CAPTION;  // "Metadata"

// Replaces the page's rows. `now` judges the attestation chain's validity.
void ShowMetadataPage(QuillmarkModel& model, const MdsBlob& blob, int64_t nowUnixSeconds);

// The page has a "Warning" row: the metadata reports the key's model
// revoked or compromised.
bool MetadataWarnsOfKey(const QuillmarkModel& model);

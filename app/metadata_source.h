// Where the window and the report take their metadata file from: a file
// named on the command line or in the user's settings, else the cached copy
// of the last download. Also the cache itself, which only ever receives a
// file that passed verification.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "metadata/mds_blob.h"
#include "metadata/trust_store.h"
#include "metadata/utc_date.h"

extern const char* const DEFAULT_MDS_URL;  // "https://mds3.fidoalliance.org/"

// The metadata options of the command line.
struct MetadataOptions {
  std::string file;                // --mds FILE
  std::vector<std::string> roots;  // --mds-root FILE, each
  std::string url;                 // --mds-url URL; empty: DEFAULT_MDS_URL
};

// $XDG_CACHE_HOME/quillmark/mds.jwt, or $HOME/.cache/quillmark/mds.jwt when
// XDG_CACHE_HOME is unset or not absolute; empty when neither is known.
std::string MetadataCachePath();

// The built-in roots and each named root file. False, with one sentence,
// when a root file cannot be used.
bool LoadTrustRoots(const std::vector<std::string>& roots, TrustStore& trust, std::string& error);

// Reads `file`, or the cache when `file` is empty and a cached copy exists;
// leaves `blob` with no verdict when there is neither.
void LoadShownMetadata(const std::string& file, TrustStore& trust, const WallClock& clock,
                       MdsBlob& blob);

// Verifies downloaded bytes and, only when they are accepted, replaces the
// cached copy: the bytes go to a new file beside it, which is then renamed
// over it. `message` says what happened in one sentence. False when the
// bytes were rejected, are older (a lower number) than an accepted cached
// copy, or could not be stored; the cache is then unchanged.
bool StoreVerifiedDownload(const std::vector<uint8_t>& bytes, TrustStore& trust,
                           const WallClock& clock, const std::string& cachePath,
                           std::string& message);

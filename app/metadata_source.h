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

// How long a whole update (the file and its revocation lists) may take.
constexpr int DEFAULT_MDS_TIMEOUT_SECONDS = 300;

// The metadata options of the command line.
struct MetadataOptions {
  std::string file;                                  // --mds FILE
  std::vector<std::string> roots;                    // --mds-root FILE, each
  std::string url;                                   // --mds-url URL; empty: DEFAULT_MDS_URL
  int timeoutSeconds = DEFAULT_MDS_TIMEOUT_SECONDS;  // --mds-timeout SECONDS
};

// $XDG_CACHE_HOME/quillmark/mds.jwt, or $HOME/.cache/quillmark/mds.jwt when
// XDG_CACHE_HOME is unset or not absolute; empty when neither is known.
std::string MetadataCachePath();

// The revocation lists kept beside the cached copy `cachePath`
// (mds-crl.pem in its folder).
std::string MetadataCrlPath(const std::string& cachePath);

// Replaces the lists `trust` holds with those kept beside `cachePath` (none
// when there are none).
void LoadCachedRevocationLists(const std::string& cachePath, TrustStore& trust);

// Keeps the newest list of each issuer `trust` holds beside `cachePath`,
// whole or not at all. False, with one sentence, when they cannot be kept.
bool StoreRevocationLists(TrustStore& trust, const std::string& cachePath, std::string& message);

// The built-in roots and each named root file. False, with one sentence,
// when a root file cannot be used.
bool LoadTrustRoots(const std::vector<std::string>& roots, TrustStore& trust, std::string& error);

// Reads `file`, or the cache when `file` is empty and a cached copy exists;
// leaves `blob` with no verdict when there is neither. Either is checked
// against the revocation lists kept beside the cache.
void LoadShownMetadata(const std::string& file, TrustStore& trust, const WallClock& clock,
                       MdsBlob& blob, const std::string& cachePath = MetadataCachePath());

// Verifies downloaded bytes and, only when they are accepted, replaces the
// cached copy: the bytes go to a new file beside it, which is then renamed
// over it. `message` says what happened. False when the bytes were rejected (a
// revoked signer among the reasons), are older (a lower number) than an
// accepted cached copy, or could not be stored; the cache is then unchanged.
bool StoreVerifiedDownload(const std::vector<uint8_t>& bytes, TrustStore& trust,
                           const WallClock& clock, const std::string& cachePath,
                           std::string& message);

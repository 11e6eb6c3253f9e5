// The download of the metadata file with Qt Network, and the --mds-update
// command around it. Needs a QCoreApplication; runs its own event loop.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "app/metadata_source.h"

// Told of the bytes received so far and the total (-1 when unknown); answers
// false to cancel.
using DownloadProgress = std::function<bool(int64_t received, int64_t total)>;

using DownloadDeadline = std::chrono::steady_clock::time_point;

// Fetches `url` whole (at most MDS_MAX_FILE_BYTES), given up at `deadline`
// (then `*late` is set, when given). False, with one sentence in `error`, on
// any failure; a cancelled download says so.
bool DownloadMetadata(const std::string& url, std::vector<uint8_t>& bytes, std::string& error,
                      const DownloadProgress& progress = nullptr,
                      DownloadDeadline deadline = DownloadDeadline::max(), bool* late = nullptr);

// Downloads from options.url (or DEFAULT_MDS_URL), verifies the file
// against the built-in and named roots, downloads the revocation lists its
// signing chain names, and replaces `cachePath` (and the lists beside it)
// only when the file is accepted. A list that cannot be had is said and
// skipped. All of it within options.timeoutSeconds. `message` says what
// happened. False when nothing was stored.
bool UpdateMetadataCache(const MetadataOptions& options, const WallClock& clock,
                         const std::string& cachePath, std::string& message,
                         const DownloadProgress& progress = nullptr);

// `quillmark --mds-update`: the update with a line on `err` before and
// after; answers whether the cache was replaced.
bool RunMetadataUpdateCommand(const MetadataOptions& options, std::ostream& err);

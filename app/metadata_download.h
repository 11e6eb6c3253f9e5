// The download of the metadata file with Qt Network, and the --mds-update
// command around it. Needs a QCoreApplication; runs its own event loop.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "app/metadata_source.h"

// Told of the bytes received so far and the total (-1 when unknown); answers
// false to cancel.
using DownloadProgress = std::function<bool(int64_t received, int64_t total)>;

// Fetches `url` whole (at most MDS_MAX_FILE_BYTES). False, with one
// sentence in `error`, on any failure; a cancelled download says so.
bool DownloadMetadata(const std::string& url, std::vector<uint8_t>& bytes, std::string& error,
                      const DownloadProgress& progress = nullptr);

// Downloads from options.url (or DEFAULT_MDS_URL), verifies the file
// against the built-in and named roots, and replaces `cachePath` only when
// it is accepted. One sentence in `message`. False when nothing was stored.
bool UpdateMetadataCache(const MetadataOptions& options, const WallClock& clock,
                         const std::string& cachePath, std::string& message,
                         const DownloadProgress& progress = nullptr);

// `quillmark --mds-update`: the update with a line on `err` before and
// after; answers whether the cache was replaced.
bool RunMetadataUpdateCommand(const MetadataOptions& options, std::ostream& err);

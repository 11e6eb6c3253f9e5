// The record of a key: what one refresh exchanged with it, as a simulated-key
// profile that `quillmark --simulate FILE` replays to the same report. It
// holds only the refresh's read-only questions: no PIN and no credential.
#pragma once

#include <string>

#include "metadata/utc_date.h"
#include "transport/key_exchange_log.h"

// The profile's JSON, its comment saying when and by which version it was
// recorded, from which device, and how to replay it.
std::string KeyRecordJson(const KeyExchangeLog& log, const WallClock& clock);

// Writes the record to `path` whole or not at all; an existing file is
// replaced only when `replace`. False with one sentence in `error`.
bool WriteKeyRecord(const std::string& path, const KeyExchangeLog& log, bool replace,
                    const WallClock& clock, std::string* error);

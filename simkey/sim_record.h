// A key as one refresh saw it, turned into a simulated device that answers
// the same requests the same way: the record that support staff replay.
#pragma once

#include "simkey/sim_config.h"
#include "transport/key_exchange_log.h"

// The device of `log` (its ids, product string, release, usage, report
// lengths and INIT facts) with a rule for every request it was sent:
// APDUs as "apdu" rules, CTAP2 requests as whole-request "cbor" rules,
// each with its answers in the order the key gave them. A makeCredential
// (CTAP command 01) and a U2F REGISTER carry a fresh challenge each time, so
// they are kept by command byte and by the REGISTER head (a prefix rule):
// a replay answers any challenge with the answer recorded for another. Nothing is left to
// the built-in key, and the device is marked as named, so that a replay shows
// it whatever its vendor. Exchanges of other CTAPHID commands are not kept.
SimDeviceConfig SimRecordedDevice(const KeyExchangeLog& log);
// The same from the parts of a log. Report lengths are 0 when unknown.
SimDeviceConfig SimRecordedDevice(const KeyDeviceInfo& device, const KeyInitFacts& initFacts,
                                  uint16_t inputReportLength, uint16_t outputReportLength,
                                  const std::vector<KeyLoggedExchange>& exchanges);

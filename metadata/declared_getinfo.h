// Compares the authenticatorGetInfo a metadata statement declares with the
// GetInfo answer of the key itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

// One text per member that differs, "maxMsgSize: metadata 1200, key 2048",
// in the order of the CTAP member numbers. Members that follow the key's
// state (remainingDiscoverableCredentials, forcePINChange, minPINLength,
// uvCountSinceLastPinEntry) and the options that only say whether something
// is set up (clientPin, uv, bioEnroll, ...) are compared by presence only or
// not at all. Members the statement does not declare are not compared.
// `getInfo`: the CBOR map of the key's answer, without the status byte.
std::vector<std::string> CompareDeclaredGetInfo(const nlohmann::json& declared,
                                                const uint8_t* getInfo, uint32_t length);

// firmwareVersion (member 14) of the key's answer; -1 when absent.
int64_t GetInfoFirmwareVersion(const uint8_t* getInfo, uint32_t length);

// The members of an authenticatorGetInfo answer by their CTAP names, and
// their values as the "Details" page writes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "cbor/cbor_tree.h"

// Value cells are cut at this many bytes: a key's answer holds up to 4 KB of
// CBOR, and a single-line cell that long is already more than anyone reads;
// the whole answer has its own rows.
constexpr size_t DETAILS_VALUE_LIMIT = 4096;

// The CTAP name of member `key` ("versions" for 0x01 ... "authenticatorConfigCommands"
// for 0x1F), or "0xNN" for a key this program has no name for.
std::string GetInfoMemberName(uint64_t key);

// The text of member `key`'s value: lists joined by ", ", numbers in decimal,
// booleans true/false, byte strings in lowercase hex, the aaguid in 8-4-4-4-12
// groups, options as name=true, algorithms as "ES256 (-7)", certifications as
// NAME=LEVEL, uvModality with the names of its bits. A value of a type its
// member does not allow, and every unknown member, is written in diagnostic
// notation. Never longer than DETAILS_VALUE_LIMIT plus the cut mark.
std::string GetInfoMemberValue(uint64_t key, const CborNode& value);

// "ES256", "EdDSA", ... for a COSE algorithm number; empty when it has no name here.
std::string CoseAlgorithmName(int64_t algorithm);

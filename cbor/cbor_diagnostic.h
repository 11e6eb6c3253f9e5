// RFC 8949 section 8 diagnostic notation of encoded CBOR items: numbers in
// decimal over the full 64-bit range, floats in their shortest round-trip
// form, h'..' byte strings, "..." text, [..] and {..} with "_ " for
// indefinite lengths, (_ ..) for chunked strings, tags as N(..), and
// false/true/null/undefined/simple(N). A CBOR sequence (RFC 8742) is written
// item by item, separated by ", ".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "cbor/cbor_tree.h"

struct CborDiagnosticLimits {
  uint32_t maxDepth = CBOR_TREE_DEFAULT_DEPTH;
  // Longer notation is cut on a character boundary and ends in "...".
  size_t maxLength = 4096;
};

struct CborDiagnosticResult {
  CborDecodeStatus status = CborDecodeStatus::kMalformed;
  std::string text;        // empty unless status is kOk
  size_t length = 0;       // bytes of the item (or the whole sequence), when kOk
  bool truncated = false;  // the text was cut at maxLength
};

// One item at `data`; bytes after it are not looked at.
CborDiagnosticResult CborDiagnostic(const uint8_t* data, size_t size,
                                    const CborDiagnosticLimits& limits = {});
// Every item of a CBOR sequence filling exactly [data, data + size).
CborDiagnosticResult CborSequenceDiagnostic(const uint8_t* data, size_t size,
                                            const CborDiagnosticLimits& limits = {});
// Whether `bytes` are well-formed UTF-8 (no overlong forms, surrogates or
// values past U+10FFFF).
bool IsWellFormedUtf8(const std::string& bytes);
// The notation of a decoded item.
std::string CborNodeDiagnostic(const CborNode& node, size_t maxLength = 4096,
                               bool* truncated = nullptr);

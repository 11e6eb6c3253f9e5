// The inventory of keys checked: one JSON object per check on a line of its
// own (JSON Lines), appended whole, and the summary of such a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "policy/policy_check.h"
#include "policy/policy_facts.h"

// The key as the device list found it.
struct InventoryDevice {
  std::string path;
  int vendorId = -1;  // -1: unknown
  int productId = -1;
  std::string product;
};

// One line, its newline included. Texts that are not UTF-8 are written with
// U+FFFD in place of the bad bytes.
std::string InventoryLine(const InventoryDevice& device, const PolicyFacts& facts,
                          const PolicyResult& result, int64_t nowUnixSeconds,
                          const std::string& hostName);

// This machine's host name, or empty.
std::string InventoryHostName();

// Appends `line` with one write(2) on a descriptor opened with O_APPEND, so
// that writers sharing the file never interleave inside a line, then fsyncs.
// Empty on success; otherwise one sentence (a short write included).
std::string AppendInventoryLine(const std::string& path, const std::string& line);

constexpr size_t INVENTORY_MAX_FILE_BYTES = 256u * 1024 * 1024;
constexpr size_t INVENTORY_MAX_DEPTH = 8;

struct InventorySummary {
  size_t checks = 0;  // lines read; one key checked twice counts twice
  size_t passed = 0;
  size_t failed = 0;
  size_t unreadable = 0;
  std::string text;  // counts per model and result, the failed checks, the unreadable lines
};

InventorySummary SummarizeInventory(const uint8_t* bytes, size_t length);
// False with one sentence in `error` when the file cannot be read.
bool SummarizeInventoryFile(const std::string& path, InventorySummary& summary, std::string& error);

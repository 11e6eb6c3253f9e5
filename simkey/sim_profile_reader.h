// The checked reading of profile JSON values, shared by the profile's
// readers: the first error is kept, with where it was.
#pragma once

#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "simkey/sim_hex.h"

using SimJson = nlohmann::ordered_json;

// Collects the first error; every reader answers false once one is set.
class SimJsonReader {
 public:
  explicit SimJsonReader(std::string& error) : error_(error) {}

  bool Fail(const std::string& where, const std::string& problem) {
    error_ = where + ": " + problem;
    return false;
  }

  bool Text(const SimJson& value, const std::string& where, std::string& out) {
    if (!value.is_string()) return Fail(where, "expected a string");
    out = value.get<std::string>();
    return true;
  }

  bool Bool(const SimJson& value, const std::string& where, bool& out) {
    if (!value.is_boolean()) return Fail(where, "expected true or false");
    out = value.get<bool>();
    return true;
  }

  // A JSON number, or with `hexText` also a string of hexadecimal digits.
  bool Number(const SimJson& value, const std::string& where, uint64_t max, bool hexText,
              uint64_t& out) {
    if (value.is_number_unsigned()) {
      out = value.get<uint64_t>();
    } else if (value.is_number_integer()) {
      return Fail(where, "expected a number from 0 to " + std::to_string(max));
    } else if (hexText && value.is_string()) {
      const std::string text = value.get<std::string>();
      std::vector<uint8_t> bytes;
      if (text.empty() || text.size() > 8 ||
          !SimParseHex(text.size() % 2 ? "0" + text : text, bytes)) {
        return Fail(where, "\"" + text + "\" is not a hexadecimal number");
      }
      out = 0;
      for (uint8_t byte : bytes) out = out * 256 + byte;
    } else {
      return Fail(where,
                  hexText ? "expected a hexadecimal string or a number" : "expected a number");
    }
    if (out > max)
      return Fail(where, std::to_string(out) + " is larger than " + std::to_string(max));
    return true;
  }

  template <typename T>
  bool Unsigned(const SimJson& value, const std::string& where, bool hexText, T& out,
                uint64_t max = std::numeric_limits<T>::max()) {
    uint64_t number = 0;
    if (!Number(value, where, max, hexText, number)) return false;
    out = static_cast<T>(number);
    return true;
  }

 private:
  std::string& error_;
};

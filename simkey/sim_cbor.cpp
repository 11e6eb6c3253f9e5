#include "simkey/sim_cbor.h"

void SimCborOut::Head(uint8_t major, uint64_t argument) {
  const uint8_t type = static_cast<uint8_t>(major << 5);
  int extraBytes = 0;
  if (argument < 24) {
    bytes_.push_back(static_cast<uint8_t>(type | argument));
    return;
  }
  if (argument <= 0xFF) {
    bytes_.push_back(type | 24);
    extraBytes = 1;
  } else if (argument <= 0xFFFF) {
    bytes_.push_back(type | 25);
    extraBytes = 2;
  } else if (argument <= 0xFFFFFFFFu) {
    bytes_.push_back(type | 26);
    extraBytes = 4;
  } else {
    bytes_.push_back(type | 27);
    extraBytes = 8;
  }
  for (int i = extraBytes - 1; i >= 0; --i) {
    bytes_.push_back(static_cast<uint8_t>(argument >> (8 * i)));
  }
}

void SimCborOut::Int(int64_t value) {
  if (value >= 0) {
    Head(0, static_cast<uint64_t>(value));
  } else {
    Head(1, static_cast<uint64_t>(-1 - value));
  }
}

void SimCborOut::Bytes(const uint8_t* data, size_t length) {
  Head(2, length);
  bytes_.insert(bytes_.end(), data, data + length);
}

void SimCborOut::Text(std::string_view text) {
  Head(3, text.size());
  bytes_.insert(bytes_.end(), text.begin(), text.end());
}

// Writes a CTAP2 request straight into a bounded buffer. Every operation
// writes its whole item or nothing.
#pragma once

#include <cstdint>

// A CTAP2 request buffer: the command byte, then the writer's 1023 bytes.
constexpr uint32_t CTAP_REQUEST_BUFFER_SIZE = 1024;

class CborWriter {
 public:
  CborWriter(uint8_t* buffer, uint32_t capacity) : buffer_(buffer), capacity_(capacity) {}

  // Answers the bytes written: 1, 2, 3 or 5; 0 when the head does not fit or
  // the buffer is null.
  uint32_t WriteHead(uint8_t major, uint32_t argument);
  void WriteInt(int64_t value);
  void WriteBytes(const uint8_t* data, uint32_t length);
  void WriteText(const char* text, uint32_t length);
  void WriteMap(uint32_t pairs);
  void WriteArray(uint32_t count);

  uint32_t position() const { return position_; }
  uint32_t capacity() const { return capacity_; }
  uint32_t room() const { return capacity_ - position_; }

 private:
  // A head of `major` with argument `length`, then the bytes; all or nothing.
  void WriteString(uint8_t major, const void* bytes, uint32_t length);

  uint8_t* buffer_;
  uint32_t position_ = 0;
  uint32_t capacity_;
};

// The two wrappers over the exchange: APDUs (status word last) and CTAP2
// commands (status byte first).
#include <cstring>

#include "transport/ctaphid.h"
#include "transport/key_device.h"

uint16_t KeySendApdu(const uint8_t* request, int requestLength, uint8_t* reply,
                     uint32_t* replyLength, uint8_t command) {
  uint8_t buffer[KEY_REPLY_BUFFER_SIZE] = {};
  if (!KeyLayerReady) return KEY_STATUS_TRANSPORT_ERROR;
  uint32_t received = sizeof buffer;
  if (KeyDevice::Instance().Exchange(request, requestLength, buffer, &received, command) != 0) {
    return KEY_STATUS_TRANSPORT_ERROR;
  }
  // Too short to hold a status word (a CTAPHID error reply, for one).
  if (received < 2) return KEY_STATUS_TRANSPORT_ERROR;

  const uint32_t dataLength = received - 2;
  const uint16_t statusWord =
      static_cast<uint16_t>((buffer[dataLength] << 8) | buffer[dataLength + 1]);
  if (replyLength == nullptr) return statusWord;
  if (reply == nullptr) {
    *replyLength = dataLength;
    return statusWord;
  }
  if (*replyLength < dataLength) {
    *replyLength = dataLength;
    return KEY_STATUS_TRANSPORT_ERROR;
  }
  std::memcpy(reply, buffer, dataLength);
  *replyLength = dataLength;
  return statusWord;
}

uint16_t KeySendCbor(const uint8_t* request, int requestLength, uint8_t* reply,
                     uint32_t* replyLength) {
  uint8_t buffer[KEY_REPLY_BUFFER_SIZE] = {};
  if (!KeyLayerReady) return KEY_STATUS_TRANSPORT_ERROR;
  uint32_t received = sizeof buffer;
  if (KeyDevice::Instance().Exchange(request, requestLength, buffer, &received, CTAPHID_CBOR) !=
      0) {
    return KEY_STATUS_TRANSPORT_ERROR;
  }
  const uint16_t status = buffer[0];
  if (replyLength == nullptr || *replyLength == 0 || reply == nullptr) return KEY_STATUS_NO_BUFFER;
  if (received == 1) return status;
  const uint32_t dataLength = received - 1;
  // A reply that does not fit is a failure, not a success without its data.
  if (*replyLength < dataLength) return KEY_STATUS_TRANSPORT_ERROR;
  std::memcpy(reply, buffer + 1, dataLength);
  *replyLength = dataLength;
  return status;
}

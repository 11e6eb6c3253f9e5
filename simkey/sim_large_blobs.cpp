#include "simkey/sim_large_blobs.h"

#include <algorithm>

#include "simkey/sim_cbor.h"
#include "simkey/sim_crypto.h"
#include "simkey/sim_ctap.h"
#include "simkey/sim_default_key.h"

std::vector<uint8_t> SimEmptyLargeBlobArray() {
  const uint8_t empty = 0x80;
  const SimHash digest = SimSha256(&empty, 1);
  std::vector<uint8_t> array(17, empty);
  std::copy(digest.begin(), digest.begin() + 16, array.begin() + 1);
  return array;
}

std::vector<uint8_t> SimLargeBlobs(const SimDeviceConfig& config, const SimCborItem& request) {
  const SimCborItem& get = request.Find(0x01);
  const SimCborItem& offset = request.Find(0x03);
  if (request.Find(0x02).present()) return {SIM_CTAP_INVALID_COMMAND};
  if (!get.present()) return {SIM_CTAP_INVALID_PARAMETER};
  if (!offset.present()) return {SIM_CTAP_MISSING_PARAMETER};
  if (get.major != SimCborItem::kUnsigned || offset.major != SimCborItem::kUnsigned) {
    return {SIM_CTAP_INVALID_PARAMETER};
  }
  // Room for the map around the piece within one message.
  const uint32_t maxMsgSize = SimMaxMsgSize(config);
  if (maxMsgSize < 64 || get.argument > maxMsgSize - 64) return {SIM_CTAP_INVALID_LENGTH};
  const std::vector<uint8_t> array =
      config.largeBlobArray.empty() ? SimEmptyLargeBlobArray() : config.largeBlobArray;
  if (offset.argument > array.size()) return {SIM_CTAP_INVALID_LENGTH};
  const size_t start = static_cast<size_t>(offset.argument);
  const size_t count = std::min<size_t>(static_cast<size_t>(get.argument), array.size() - start);
  SimCborOut out;
  out.Map(1);
  out.Unsigned(0x01);
  out.Bytes(array.data() + start, count);
  return SimCtapAnswer(SIM_CTAP_OK, out.bytes());
}

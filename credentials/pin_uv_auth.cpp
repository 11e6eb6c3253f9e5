#include "credentials/pin_uv_auth.h"

#include <mbedtls/md.h>
#include <mbedtls/platform_util.h>

#include <cstring>

bool PinUvAuthIsValid(const PinUvAuth& auth) {
  if (auth.param == nullptr) return false;
  return (auth.protocol == 1 && auth.length == 16) || (auth.protocol == 2 && auth.length == 32);
}

void WritePinUvAuth(CborWriter& writer, const PinUvAuth& auth, int64_t protocolKey,
                    int64_t paramKey) {
  writer.WriteInt(protocolKey);
  writer.WriteInt(auth.protocol);
  writer.WriteInt(paramKey);
  writer.WriteBytes(auth.param, auth.length);
}

uint32_t ComputePinUvAuthParam(uint8_t protocol, const uint8_t* key, uint32_t keyLength,
                               const uint8_t* message, uint32_t messageLength, uint8_t out[32]) {
  if (protocol != 1 && protocol != 2) return 0;
  uint8_t mac[32] = {};
  mbedtls_md_hmac(mbedtls_md_info_from_type(MBEDTLS_MD_SHA256), key, keyLength, message,
                  messageLength, mac);
  const uint32_t length = protocol == 1 ? 16 : 32;
  std::memcpy(out, mac, length);
  mbedtls_platform_zeroize(mac, sizeof mac);
  return length;
}

#include "credentials/pin_uv_auth.h"

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

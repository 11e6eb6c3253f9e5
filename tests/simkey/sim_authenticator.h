// A fixture for the key's authenticator: one default key behind raw
// HidPlatform calls, and the requests a host sends for a certificate fetch.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "simkey/sim_platform.h"
#include "tests/simkey/sim_cbor_check.h"
#include "tests/simkey/sim_host.h"
#include "tests/simkey/sim_host_crypto.h"

inline const Bytes kClientDataHash = {
    0x68, 0x71, 0x34, 0x96, 0x82, 0x22, 0xEC, 0x17, 0x20, 0x2E, 0x42, 0x50, 0x5F, 0x8E, 0xD2, 0xB1,
    0x6A, 0xE2, 0x2F, 0x16, 0xBB, 0x05, 0xB8, 0x8C, 0x25, 0xDB, 0x9E, 0x60, 0x26, 0x45, 0xF1, 0x41};
inline const Bytes kUserId = {0x01, 0xB6, 0x5E, 0xBF, 0x91, 0x47, 0x24, 0xC5, 0xFC, 0x50, 0xBE,
                              0x4E, 0x9F, 0xF2, 0xE6, 0x17, 0x87, 0xFE, 0x97, 0xF8, 0xF0, 0xB1,
                              0x54, 0x43, 0x44, 0x31, 0x6E, 0xCD, 0x24, 0x92, 0x5F, 0x01};
inline const Bytes kChallenge = {0x25, 0x2E, 0xC6, 0x52, 0x5A, 0x24, 0xF6, 0x9B, 0x4F, 0xFB, 0x45,
                                 0x7A, 0x16, 0x58, 0xBD, 0x9E, 0x51, 0x75, 0x41, 0xB3, 0x61, 0xAE,
                                 0x18, 0x4A, 0x65, 0xC6, 0xBF, 0xFB, 0xA2, 0x0C, 0xBD, 0xDD};
inline const Bytes kApplication = {0x19, 0x85, 0x6F, 0x2A, 0xD4, 0x86, 0xA9, 0x55, 0x42, 0x0F, 0xA9,
                                   0x88, 0xFE, 0x58, 0x28, 0x42, 0xF4, 0x07, 0xF4, 0xCA, 0x34, 0x92,
                                   0x39, 0x18, 0x26, 0xB8, 0x9A, 0x92, 0x7C, 0xA2, 0x3C, 0x70};

inline void AddText(Bytes& out, const std::string& text) {
  out.push_back(static_cast<uint8_t>(0x60 | text.size()));  // all shorter than 24
  out.insert(out.end(), text.begin(), text.end());
}

inline void AddBytes(Bytes& out, const Bytes& bytes) {
  if (bytes.size() >= 24) {
    out.push_back(0x58);
    out.push_back(static_cast<uint8_t>(bytes.size()));
  } else {
    out.push_back(static_cast<uint8_t>(0x40 | bytes.size()));
  }
  out.insert(out.end(), bytes.begin(), bytes.end());
}

// The makeCredential request of a certificate fetch, command byte first:
// 171 bytes, or 191 with pinAuth and pinProtocol. `algorithm` is the one
// credential algorithm offered (0x26 is -7).
inline Bytes MakeCredentialRequest(const Bytes& pinAuth = {}, uint8_t algorithm = 0x26) {
  Bytes request = {0x01, static_cast<uint8_t>(pinAuth.empty() ? 0xA4 : 0xA6), 0x01};
  AddBytes(request, kClientDataHash);
  request.insert(request.end(), {0x02, 0xA2});
  AddText(request, "id");
  AddText(request, "tovarin");
  AddText(request, "name");
  AddText(request, "tovarin");
  request.insert(request.end(), {0x03, 0xA3});
  AddText(request, "id");
  AddBytes(request, kUserId);
  AddText(request, "name");
  request.push_back(0x71);
  const std::string userName = "tester@tovarin.ex";
  request.insert(request.end(), userName.begin(), userName.end());
  AddText(request, "displayName");
  AddText(request, "Test Ctap");
  request.insert(request.end(), {0x04, 0x81, 0xA2});
  AddText(request, "alg");
  request.push_back(algorithm);
  AddText(request, "type");
  AddText(request, "public-key");
  if (!pinAuth.empty()) {
    request.push_back(0x08);
    AddBytes(request, pinAuth);
    request.insert(request.end(), {0x09, 0x01});
  }
  return request;
}

// getPinToken: 06 {1: 1, 2: 5, 3: COSE key, 6: pinHashEnc}.
inline Bytes PinTokenRequest(const HostAgreement& agreement, const Bytes& pinHashEnc) {
  Bytes request = {0x06, 0xA4, 0x01, 0x01, 0x02, 0x05, 0x03, 0xA5,
                   0x01, 0x02, 0x03, 0x38, 0x18, 0x20, 0x01, 0x21};
  AddBytes(request, agreement.x);
  request.push_back(0x22);
  AddBytes(request, agreement.y);
  request.push_back(0x06);
  AddBytes(request, pinHashEnc);
  return request;
}

inline const Bytes kGetKeyAgreement = {0x06, 0xA2, 0x01, 0x01, 0x02, 0x02};
inline const Bytes kGetRetries = {0x06, 0xA2, 0x01, 0x01, 0x02, 0x01};

class SimAuthenticatorTest : public ::testing::Test {
 protected:
  SimDevice& Start(SimDeviceConfig config = {}) {
    SimDevice& device = platform.AddDevice(std::move(config));
    host = std::make_unique<SimHost>(platform, platform.deviceCount() - 1);
    channel = host->Allocate();
    return device;
  }
  HostReply Cbor(const Bytes& request) { return host->Exchange(channel, 0x90, request); }
  Bytes Apdu(const Bytes& apdu) { return host->Exchange(channel, 0x83, apdu).payload; }

  // The key's key-agreement point and the host's half of the agreement.
  bool Agree(HostAgreement& agreement) {
    const Item answer = DecodeAnswer(Cbor(kGetKeyAgreement).payload);
    const Item& key = answer.Find(1);
    return key.Find(-2).text.size() == 32 && key.Find(-3).text.size() == 32 &&
           HostAgree(key.Find(-2).bytes(), key.Find(-3).bytes(), agreement);
  }

  // getPinToken with `pin` (with `permissions`, the subcommand that carries
  // them); on status 0 `token` is the decrypted token.
  uint8_t GetPinToken(const std::string& pin, Bytes* token = nullptr, uint8_t permissions = 0) {
    HostAgreement agreement;
    if (!Agree(agreement)) return 0xFF;
    const Bytes pinHash = Sha256(Bytes(pin.begin(), pin.end()));
    const Bytes pinHashEnc =
        AesCbc(agreement.sharedSecret, Bytes(pinHash.begin(), pinHash.begin() + 16), true);
    Bytes request = PinTokenRequest(agreement, pinHashEnc);
    if (permissions != 0) {
      request[1] = 0xA5;  // one member more
      request[5] = 0x09;
      request.push_back(0x09);
      if (permissions >= 24) request.push_back(0x18);
      request.push_back(permissions);
    }
    const Bytes answer = Cbor(request).payload;
    if (answer.empty()) return 0xFF;
    if (answer[0] == 0 && token != nullptr) {
      *token = AesCbc(agreement.sharedSecret, DecodeAnswer(answer).Find(2).bytes(), false);
    }
    return answer[0];
  }

  uint64_t Retries() { return DecodeAnswer(Cbor(kGetRetries).payload).Find(3).value; }

  SimKeyPlatform platform;
  std::unique_ptr<SimHost> host;
  uint32_t channel = 0;
};

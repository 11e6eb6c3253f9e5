// The authenticator's side of authenticatorCredentialManagement (0x0A, and
// 0x41 of pre-release firmware) for the subcommands that read:
// getCredsMetadata, enumerateRPsBegin/GetNextRP and
// enumerateCredentialsBegin/GetNextCredential. Deleting and updating are not
// offered (0x3E). The Begin calls carry a pinUvAuthParam over subCommand ||
// subCommandParams from a token with cm or pcmr; a GetNext without its Begin
// answers 0x30. credmanQuirks makes it answer as some real keys do.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "simkey/sim_cbor_in.h"
#include "simkey/sim_client_pin.h"
#include "simkey/sim_config.h"
#include "simkey/sim_credential_store.h"

class SimCredentialManagement {
 public:
  // The answer, status byte then CBOR, to the request map.
  std::vector<uint8_t> Answer(const SimDeviceConfig& config, const SimCborItem& request,
                              SimClientPin& pin, const SimCredentialStore& store);

 private:
  std::vector<uint8_t> RpsBegin(const SimDeviceConfig& config, const SimCredentialStore& store);
  std::vector<uint8_t> NextRp(const SimDeviceConfig& config);
  std::vector<uint8_t> CredentialsBegin(const SimDeviceConfig& config, const SimCborItem& params,
                                        const SimCredentialStore& store);
  std::vector<uint8_t> NextCredential(const SimDeviceConfig& config);

  // Copies: makeCredential may change the store between two calls.
  std::vector<SimCredentialEntry> rps_;
  size_t nextRp_ = 0;
  bool rpsOpen_ = false;
  std::vector<SimCredentialEntry> credentials_;
  size_t nextCredential_ = 0;
  bool credentialsOpen_ = false;
};

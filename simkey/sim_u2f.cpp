#include "simkey/sim_u2f.h"

#include <algorithm>

#include "simkey/sim_attestation.h"

namespace {

constexpr uint8_t kInsRegister = 0x01;
constexpr uint8_t kInsGetResponse = 0xC0;
constexpr size_t kParametersLength = 64;  // challenge and application

std::vector<uint8_t> Status(uint16_t status) {
  return {static_cast<uint8_t>(status >> 8), static_cast<uint8_t>(status)};
}

void Append(std::vector<uint8_t>& out, const uint8_t* data, size_t length) {
  out.insert(out.end(), data, data + length);
}

}  // namespace

bool SimU2f::Answer(const SimDeviceConfig& config, const std::vector<uint8_t>& apdu,
                    std::vector<uint8_t>& reply) {
  const bool ours = apdu.size() >= 4 && apdu[0] == 0x00 &&
                    (apdu[1] == kInsRegister || apdu[1] == kInsGetResponse);
  if (!ours) {
    held_.clear();
    return false;
  }
  if (apdu[1] == kInsGetResponse) {
    reply = held_.empty() ? Status(0x6985) : NextPiece();
    return true;
  }
  held_.clear();
  reply = Register(config, apdu);
  clock_.Advance(config.u2f.registerAnswerMs);
  return true;
}

std::vector<uint8_t> SimU2f::Register(const SimDeviceConfig& config,
                                      const std::vector<uint8_t>& apdu) {
  const SimU2fOptions& options = config.u2f;
  // Where the 64 parameter bytes start, by the form of the length field.
  size_t dataStart = 0;
  size_t leLength = 0;
  if (apdu.size() >= 7 && apdu[4] == 0x00) {
    if (options.rejectExtended) return Status(0x6700);
    if (options.extendedFormStatus != 0) return Status(options.extendedFormStatus);
    if ((size_t{apdu[5]} << 8 | apdu[6]) != kParametersLength) return Status(0x6700);
    dataStart = 7;
    leLength = 2;
  } else if (apdu.size() >= 5 && apdu[4] == kParametersLength) {
    dataStart = 5;
    leLength = 1;
  } else {
    return Status(0x6700);
  }
  const size_t end = dataStart + kParametersLength;
  if (apdu.size() != end && apdu.size() != end + leLength) return Status(0x6700);

  const uint64_t now = clock_.NowMs();
  if (!attempt_) {
    attempt_ = true;
    attemptStartMs_ = now;
  }
  if (now - attemptStartMs_ < options.touchDelayMs) return Status(0x6985);
  attempt_ = false;

  std::vector<uint8_t> registration = Registration(config, &apdu[dataStart], &apdu[dataStart + 32]);
  if (registration.empty()) return Status(0x6F00);
  if (options.pieces <= 1) {
    Append(registration, Status(0x9000).data(), 2);
    return registration;
  }
  pieceLength_ = (registration.size() + options.pieces - 1) / options.pieces;
  held_ = std::move(registration);
  if (!options.firstPieceEmpty) return NextPiece();
  return Status(static_cast<uint16_t>(0x6100 | (held_.size() < 256 ? held_.size() : 0)));
}

std::vector<uint8_t> SimU2f::Registration(const SimDeviceConfig& config, const uint8_t* challenge,
                                          const uint8_t* application) {
  const SimU2fOptions& options = config.u2f;
  const SimCustomMaterial& custom = config.u2fMaterial;
  const SimAttestationMaterial& material = SimAttestation();
  SimEcKey user;
  if (material.chain.empty() || !user.Generate(random_)) return {};
  const std::vector<uint8_t> userKey = user.PublicKey();
  const std::vector<uint8_t> keyHandle = random_.Bytes(SIMKEY_U2F_KEY_HANDLE_LENGTH);

  // Sized up front: growing a one-byte vector here makes GCC 12's optimiser
  // see a copy out of bounds that cannot happen (-Warray-bounds).
  std::vector<uint8_t> signedData;
  signedData.reserve(1 + 64 + keyHandle.size() + userKey.size());
  signedData.push_back(0x00);
  Append(signedData, application, 32);
  Append(signedData, challenge, 32);
  Append(signedData, keyHandle.data(), keyHandle.size());
  Append(signedData, userKey.data(), userKey.size());
  if (options.wrongSignature) signedData.back() ^= 0x01;
  const std::vector<uint8_t> signature = SimAttestationSign(signedData, custom.privateKey);
  if (signature.empty()) return {};

  const std::vector<uint8_t>& leaf = custom.chain.empty() ? material.chain[0] : custom.chain[0];
  const std::vector<uint8_t> certificate =
      options.corruptCertificate ? SimCorruptCertificate(leaf) : leaf;
  std::vector<uint8_t> registration = {0x05};
  Append(registration, userKey.data(), userKey.size());
  registration.push_back(static_cast<uint8_t>(keyHandle.size()));
  Append(registration, keyHandle.data(), keyHandle.size());
  Append(registration, certificate.data(), certificate.size());
  Append(registration, signature.data(), signature.size());
  return registration;
}

std::vector<uint8_t> SimU2f::NextPiece() {
  const size_t length = std::min(pieceLength_, held_.size());
  std::vector<uint8_t> piece(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(length));
  held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(length));
  const size_t left = held_.size();
  const uint16_t status =
      left == 0 ? 0x9000 : static_cast<uint16_t>(0x6100 | (left < 256 ? left : 0));
  Append(piece, Status(status).data(), 2);
  return piece;
}

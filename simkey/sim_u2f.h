// The U2F authenticator behind CTAPHID MSG: REGISTER (INS 01) and GET
// RESPONSE (INS C0) for a registration handed out in pieces.
//
// REGISTER, either form, P1 and P2 not examined:
//   extended  00 01 P1 P2 00 00 40 <challenge 32> <application 32> [00 00]
//   short     00 01 P1 P2 40 <challenge 32> <application 32> [00]
// It answers 6985 until SimU2fOptions::touchDelayMs of simulated time have
// passed since the first REGISTER of the attempt; the next REGISTER then
// answers the registration and ends the attempt:
//   05 | user public key (65) | L | key handle (L) | attestation certificate
//   (the leaf, DER) | DER ECDSA signature by the attestation key over
//   00 | application | challenge | key handle | user public key
// followed by 9000. With `pieces` above 1 the registration comes in that
// many parts: each answer but the last has the status 61XX, XX being the
// bytes still held (00 for 256 or more), and GET RESPONSE 00 C0 00 00 XX
// answers the next part (its Le is not examined); with nothing held it
// answers 6985. Any other APDU drops what is still held.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "simkey/sim_clock.h"
#include "simkey/sim_config.h"
#include "simkey/sim_crypto.h"

constexpr size_t SIMKEY_U2F_KEY_HANDLE_LENGTH = 64;

class SimU2f {
 public:
  SimU2f(SimClock& clock, SimRandom& random) : clock_(clock), random_(random) {}

  // False when the APDU is not one of this authenticator's: the pieces
  // still held are dropped then. True with `reply` (data, status word)
  // otherwise.
  bool Answer(const SimDeviceConfig& config, const std::vector<uint8_t>& apdu,
              std::vector<uint8_t>& reply);
  // Tells of an APDU answered elsewhere: it drops the pieces still held.
  void NoteOtherApdu() { held_.clear(); }

 private:
  std::vector<uint8_t> Register(const SimDeviceConfig& config, const std::vector<uint8_t>& apdu);
  std::vector<uint8_t> Registration(const SimDeviceConfig& config, const uint8_t* challenge,
                                    const uint8_t* application);
  std::vector<uint8_t> NextPiece();

  SimClock& clock_;
  SimRandom& random_;
  bool attempt_ = false;
  uint64_t attemptStartMs_ = 0;
  std::vector<uint8_t> held_;
  size_t pieceLength_ = 0;
};

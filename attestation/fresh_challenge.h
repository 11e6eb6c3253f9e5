// The challenges of the certificate fetches: 32 fresh random bytes for every
// fetch, so that an answer recorded once cannot be replayed as a new one.
#pragma once

#include <cstdint>
#include <string>

constexpr uint32_t CHALLENGE_LENGTH = 32;

// Fixed values a test injects when it must know the challenge in advance
// (the FIDO2 client data hash and the U2F challenge parameter of the past).
extern const uint8_t TestClientDataHash[CHALLENGE_LENGTH];
extern const uint8_t U2fChallengeParameter[CHALLENGE_LENGTH];

class ChallengeSource {
 public:
  virtual ~ChallengeSource() = default;
  // False, with `problem` saying why, when no challenge could be made.
  virtual bool Fill(uint8_t out[CHALLENGE_LENGTH], std::string& problem) = 0;
};

// The default source: mbedTLS's CTR-DRBG seeded from the operating system's
// entropy, seeded anew for each challenge.
class SystemChallengeSource : public ChallengeSource {
 public:
  bool Fill(uint8_t out[CHALLENGE_LENGTH], std::string& problem) override;
};

// Always the same 32 bytes.
class FixedChallengeSource : public ChallengeSource {
 public:
  explicit FixedChallengeSource(const uint8_t bytes[CHALLENGE_LENGTH]);
  bool Fill(uint8_t out[CHALLENGE_LENGTH], std::string& problem) override;

 private:
  uint8_t bytes_[CHALLENGE_LENGTH];
};

// Replaces the source of every later fetch; null restores the system source.
// The source must outlive its use.
void SetChallengeSource(ChallengeSource* source);

// A challenge from the current source. False with `message` a sentence for
// the user when none could be made: the fetch must then end, never go on
// with a fixed or zero challenge.
bool FreshChallenge(uint8_t out[CHALLENGE_LENGTH], std::string& message);

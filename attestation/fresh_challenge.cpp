#include "attestation/fresh_challenge.h"

#include <mbedtls/ctr_drbg.h>
#include <mbedtls/entropy.h>
#include <mbedtls/platform_util.h>

#include <cstdio>
#include <cstring>

const uint8_t TestClientDataHash[CHALLENGE_LENGTH] = {
    0x68, 0x71, 0x34, 0x96, 0x82, 0x22, 0xEC, 0x17, 0x20, 0x2E, 0x42, 0x50, 0x5F, 0x8E, 0xD2, 0xB1,
    0x6A, 0xE2, 0x2F, 0x16, 0xBB, 0x05, 0xB8, 0x8C, 0x25, 0xDB, 0x9E, 0x60, 0x26, 0x45, 0xF1, 0x41};
const uint8_t U2fChallengeParameter[CHALLENGE_LENGTH] = {
    0x25, 0x2E, 0xC6, 0x52, 0x5A, 0x24, 0xF6, 0x9B, 0x4F, 0xFB, 0x45, 0x7A, 0x16, 0x58, 0xBD, 0x9E,
    0x51, 0x75, 0x41, 0xB3, 0x61, 0xAE, 0x18, 0x4A, 0x65, 0xC6, 0xBF, 0xFB, 0xA2, 0x0C, 0xBD, 0xDD};

namespace {

constexpr char kPersonalization[] = "quillmark fetch challenge";

ChallengeSource* g_source = nullptr;

class Generator {
 public:
  Generator() {
    mbedtls_entropy_init(&entropy);
    mbedtls_ctr_drbg_init(&drbg);
  }
  ~Generator() {
    mbedtls_ctr_drbg_free(&drbg);
    mbedtls_entropy_free(&entropy);
  }
  Generator(const Generator&) = delete;
  Generator& operator=(const Generator&) = delete;

  mbedtls_entropy_context entropy;
  mbedtls_ctr_drbg_context drbg;
};

std::string MbedtlsProblem(const char* step, int result) {
  char text[96];
  std::snprintf(text, sizeof text, "%s failed (mbedTLS error -0x%04X)", step,
                static_cast<unsigned>(-result));
  return text;
}

}  // namespace

bool SystemChallengeSource::Fill(uint8_t out[CHALLENGE_LENGTH], std::string& problem) {
  Generator generator;
  int result = mbedtls_ctr_drbg_seed(&generator.drbg, mbedtls_entropy_func, &generator.entropy,
                                     reinterpret_cast<const unsigned char*>(kPersonalization),
                                     sizeof kPersonalization - 1);
  if (result != 0) {
    problem = MbedtlsProblem("seeding the random generator", result);
    return false;
  }
  result = mbedtls_ctr_drbg_random(&generator.drbg, out, CHALLENGE_LENGTH);
  if (result != 0) {
    mbedtls_platform_zeroize(out, CHALLENGE_LENGTH);
    problem = MbedtlsProblem("the random generator", result);
    return false;
  }
  return true;
}

FixedChallengeSource::FixedChallengeSource(const uint8_t bytes[CHALLENGE_LENGTH]) {
  std::memcpy(bytes_, bytes, CHALLENGE_LENGTH);
}

bool FixedChallengeSource::Fill(uint8_t out[CHALLENGE_LENGTH], std::string&) {
  std::memcpy(out, bytes_, CHALLENGE_LENGTH);
  return true;
}

void SetChallengeSource(ChallengeSource* source) { g_source = source; }

bool FreshChallenge(uint8_t out[CHALLENGE_LENGTH], std::string& message) {
  SystemChallengeSource system;
  ChallengeSource& source = g_source != nullptr ? *g_source : system;
  std::string problem;
  if (source.Fill(out, problem)) return true;
  message = "Cannot fetch certifications: no fresh challenge could be made (" + problem + ").";
  return false;
}

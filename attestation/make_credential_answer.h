// The parts of an authenticatorMakeCredential answer that the FIDO2 fetch
// shows and checks, read in place.
#pragma once

#include <cstdint>
#include <string>

#include "cbor/cbor_view.h"

// authData and the client data hash go into one signed-data buffer of 1000
// bytes: longer authData is refused.
constexpr uint32_t MAKE_CREDENTIAL_MAX_AUTH_DATA = 968;

constexpr int MAKE_CREDENTIAL_OK = 0;
// authData or sig missing, not a byte string, empty, or authData too long.
constexpr int MAKE_CREDENTIAL_BAD_ANSWER = 1;
// The statement has no "x5c" (self attestation).
constexpr int MAKE_CREDENTIAL_NO_X5C = 2;

// Pointers into the answer that was read; valid as long as it is.
struct MakeCredentialAnswer {
  const uint8_t* authData = nullptr;  // key 2
  uint32_t authDataLength = 0;
  const uint8_t* signature = nullptr;  // key 3, "sig"
  uint32_t signatureLength = 0;
  CborView x5c;        // key 3, "x5c": its elements are the certificates
  std::string format;  // key 1, "fmt"; empty when absent or not text
  // The statement's "alg": absent, an integer, or something else.
  enum class Alg { kAbsent, kInteger, kNotInteger };
  Alg algForm = Alg::kAbsent;
  int64_t alg = 0;
};

// Reads the answer map (the bytes after the status byte).
int ReadMakeCredentialAnswer(const uint8_t* answer, uint32_t length, MakeCredentialAnswer* out);

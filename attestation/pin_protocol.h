// CTAP2 PIN protocol 1: a PIN token from the key, and the pinAuth of a
// request.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "attestation/user_prompt.h"
#include "cbor/cbor_writer.h"

constexpr int32_t PIN_CBOR_ERROR = 18;  // the key-agreement answer cannot be read

// Room for each authenticatorClientPIN answer.
constexpr uint32_t PIN_ANSWER_ROOM = 1024;
// getKeyAgreement: authenticatorClientPIN {1: 1 (pinProtocol), 2: 2}.
extern const uint8_t GET_KEY_AGREEMENT_REQUEST[6];
// getPinToken request length, command byte included.
constexpr uint32_t GET_PIN_TOKEN_REQUEST_LENGTH = 103;

// Keys choose the token's length, a multiple of 16: 32 bytes mostly, 16 on
// some CTAP 2.0 firmware.
constexpr uint32_t PIN_TOKEN_MAX_LENGTH = 64;

// `pinText`: the PIN as typed (UTF-8). Answers 0 with the token in `token`
// and its length in `tokenLength`; -1 (empty PIN, after the message; no usable
// token in the answer), a CTAP status or transport code, 18, or a negative
// mbedTLS error code. The PIN text stays the caller's to wipe, and so does the
// token once its pinAuth is computed.
int32_t GetPinToken(const std::string& pinText, uint8_t token[PIN_TOKEN_MAX_LENGTH],
                    uint32_t* tokenLength, UserPrompt& prompt);

// Reads the key's key-agreement key from a getKeyAgreement answer, makes a
// fresh platform key pair and answers the shared secret (SHA-256 of the ECDH
// x coordinate) and the platform public key. Answers 0; 18 when x or y is no
// byte string of at least 32 bytes, or the generator cannot be seeded; or a
// negative mbedTLS error code (a peer point off the curve, for one).
int32_t DeriveSharedSecret(const uint8_t* answer, uint32_t length, uint8_t sharedSecret[32],
                           uint8_t platformX[32], uint8_t platformY[32]);
// The same with the given platform private key (32 bytes, big-endian) in
// place of a fresh one; known-answer tests use it.
int32_t DeriveSharedSecret(const uint8_t* answer, uint32_t length, const uint8_t platformScalar[32],
                           uint8_t sharedSecret[32], uint8_t platformX[32], uint8_t platformY[32]);

// The ECDH x coordinate Z itself, for protocol 2's key derivation; a null
// `platformScalar` makes a fresh key pair. Answers as DeriveSharedSecret.
int32_t DeriveSharedX(const uint8_t* answer, uint32_t length, const uint8_t* platformScalar,
                      uint8_t sharedX[32], uint8_t platformX[32], uint8_t platformY[32]);

// pinHashEnc: AES-256-CBC (key sharedSecret, zero IV) of the first 16 bytes
// of SHA-256(PIN). Answers 0 or a negative mbedTLS error code.
int32_t ComputePinHashEnc(const std::string& pinText, const uint8_t sharedSecret[32],
                          uint8_t pinHashEnc[16]);

// Writes the platform's key-agreement key as a COSE_Key (EC2, P-256).
void WritePlatformCoseKey(CborWriter& writer, const uint8_t platformX[32],
                          const uint8_t platformY[32]);

// Writes the getPinToken request, command byte first, into `request`;
// answers its length (GET_PIN_TOKEN_REQUEST_LENGTH).
uint32_t WriteGetPinTokenRequest(const uint8_t platformX[32], const uint8_t platformY[32],
                                 const uint8_t pinHashEnc[16],
                                 uint8_t request[CTAP_REQUEST_BUFFER_SIZE]);

// Reads the encrypted token (key 2) of a getPinToken answer and decrypts it
// whole into `token`. Answers 0 with its length in `tokenLength`; -1 when key
// 2 is no byte string whose length is a multiple of 16 from 16 to
// PIN_TOKEN_MAX_LENGTH (`token` and `tokenLength` untouched); or a negative
// mbedTLS error code.
int32_t ReadPinTokenAnswer(const uint8_t* answer, uint32_t length, const uint8_t sharedSecret[32],
                           uint8_t token[PIN_TOKEN_MAX_LENGTH], uint32_t* tokenLength);

// The first 16 bytes of HMAC-SHA-256 keyed with the whole token.
void ComputePinAuth(const uint8_t* pinToken, uint32_t tokenLength, const uint8_t clientDataHash[32],
                    uint8_t pinAuth[16]);

// Wipes a buffer when it goes out of scope, on every path.
class WipeOnExit {
 public:
  WipeOnExit(void* buffer, size_t length) : buffer_(buffer), length_(length) {}
  ~WipeOnExit();
  WipeOnExit(const WipeOnExit&) = delete;
  WipeOnExit& operator=(const WipeOnExit&) = delete;

 private:
  void* buffer_;
  size_t length_;
};

// Overwrites the characters of `text` with zeros before emptying it, for the
// PIN's copies.
void WipeText(std::string& text);

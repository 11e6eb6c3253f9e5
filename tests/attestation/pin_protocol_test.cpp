#include "attestation/pin_protocol.h"

#include <gtest/gtest.h>
#include <mbedtls/aes.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "attestation_test_util.h"
#include "cbor/cbor_writer.h"
#include "simkey/sim_platform.h"
#include "transport/ctaphid.h"
#include "transport/key_device.h"

namespace {

// Known answers computed independently with python3-cryptography 38 by
//   /usr/bin/python3 tests/attestation/pin_protocol_kat.py
// (platform scalar 01 02 .. 20, the peer scalar below, PIN "1234", the token
// below, clientDataHash = the fetch's TestClientDataHash). Its output:
const char kPlatformScalar[] = "0102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F20";
const char kPeerScalar[] = "7D2BD3A1C2F0E1D4B5A69788796A5B4C3D2E1F00112233445566778899AABBCC";
const char kPlatformX[] = "515C3D6EB9E396B904D3FECA7F54FDCD0CC1E997BF375DCA515AD0A6C3B4035F";
const char kPlatformY[] = "4536BE3A50F318FBF9A5475902A221502BEF0D57E08C53B2CC0A56F17D9F9354";
const char kPeerX[] = "3009B6F5CA9F226CB7CE6800F761CCF928B9D1078F325D0E20079C6E9A5AAE4D";
const char kPeerY[] = "5BEE9A64835874C1445C7A37387C258AA9A6549892922EF9549018294E3DE3C1";
const char kSharedSecret[] = "0D7B3CBB54916E964157EBB8787DF5797066AF1BD1411F11C254B9612E0E4093";
const char kPinHashEnc[] = "38A7155EB002D070540FE3B963F3616F";
const char kTokenEnc[] = "069517584AF2CDF762704EE54FC9CEED774D6892F693080683C58E31BEB0BE5B";
const char kPinAuth[] = "32C715D77EB8E11A3C22BD37922F8AFB";
const char kToken[] = "00112233445566778899AABBCCDDEEFF0F1E2D3C4B5A69788796A5B4C3D2E1F0";
// Tokens of 16 and 64 bytes, and their pinAuth (HMAC keyed with the whole
// token), from the same script.
const char kToken16[] = "F0E1D2C3B4A5968778695A4B3C2D1E0F";
const char kToken16Enc[] = "DF4A1FEAD60AECD2B7C76250D3786376";
const char kPinAuth16[] = "AD25BC97E11F3F77889AE0242BAB3DCA";
const char kToken64Tail[] = "A0A1A2A3A4A5A6A7A8A9AAABACADAEAFB0B1B2B3B4B5B6B7B8B9BABBBCBDBEBF";
const char kToken64Enc[] =
    "069517584AF2CDF762704EE54FC9CEED774D6892F693080683C58E31BEB0BE5B"
    "DB5AD519827381ECEA34AD131725D31129B8F01C73750D7B1FE7FC93A6B20F58";
const char kPinAuth64[] = "FA1D4B8A0157869A7FF2381547BA4BCC";
const char kClientDataHash[] = "687134968222EC17202E42505F8ED2B16AE22F16BB05B88C25DB9E602645F141";

// What goes under one COSE key coordinate of a key-agreement answer.
struct Coordinate {
  enum Kind { kMissing, kBytes, kText } kind = kBytes;
  std::vector<uint8_t> bytes;
};

// {1: {1: 2, 3: -25, -1: 1, -2: x, -3: y}}, plus {2: token} when given.
std::vector<uint8_t> ClientPinAnswer(const Coordinate& x, const Coordinate& y,
                                     const std::vector<uint8_t>* token = nullptr) {
  std::vector<uint8_t> buffer(512);
  CborWriter writer(buffer.data(), static_cast<uint32_t>(buffer.size()));
  writer.WriteMap(token == nullptr ? 1 : 2);
  writer.WriteInt(1);
  writer.WriteMap(3 + (x.kind != Coordinate::kMissing) + (y.kind != Coordinate::kMissing));
  writer.WriteInt(1);
  writer.WriteInt(2);
  writer.WriteInt(3);
  writer.WriteInt(-25);
  writer.WriteInt(-1);
  writer.WriteInt(1);
  const std::pair<int, const Coordinate*> members[] = {{-2, &x}, {-3, &y}};
  for (const auto& [label, coordinate] : members) {
    if (coordinate->kind == Coordinate::kMissing) continue;
    writer.WriteInt(label);
    if (coordinate->kind == Coordinate::kBytes) {
      writer.WriteBytes(coordinate->bytes.data(), static_cast<uint32_t>(coordinate->bytes.size()));
    } else {
      writer.WriteText(reinterpret_cast<const char*>(coordinate->bytes.data()),
                       static_cast<uint32_t>(coordinate->bytes.size()));
    }
  }
  if (token != nullptr) {
    writer.WriteInt(2);
    writer.WriteBytes(token->data(), static_cast<uint32_t>(token->size()));
  }
  buffer.resize(writer.position());
  return buffer;
}

Coordinate Bytes(const std::string& hex) { return {Coordinate::kBytes, FromHex(hex)}; }

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<uint8_t> AesCbcDecrypt(const std::vector<uint8_t>& key,
                                   const std::vector<uint8_t>& data) {
  mbedtls_aes_context aes;
  mbedtls_aes_init(&aes);
  mbedtls_aes_setkey_dec(&aes, key.data(), 256);
  uint8_t iv[16] = {};
  std::vector<uint8_t> out(data.size());
  mbedtls_aes_crypt_cbc(&aes, MBEDTLS_AES_DECRYPT, data.size(), iv, data.data(), out.data());
  mbedtls_aes_free(&aes);
  return out;
}

struct Derived {
  int32_t result;
  std::string sharedSecret, platformX, platformY;
};

// From a heap copy of exactly the answer's size.
Derived DeriveFixed(const std::vector<uint8_t>& answer, const std::string& scalarHex) {
  std::vector<uint8_t> exact(answer);
  const std::vector<uint8_t> scalar = FromHex(scalarHex);
  uint8_t secret[32] = {}, x[32] = {}, y[32] = {};
  const int32_t result =
      DeriveSharedSecret(exact.empty() ? nullptr : exact.data(),
                         static_cast<uint32_t>(exact.size()), scalar.data(), secret, x, y);
  return {result, ToHex(secret, 32), ToHex(x, 32), ToHex(y, 32)};
}

TEST(PinProtocolKnownAnswers, SharedSecretPinHashEncAndPinAuth) {
  const Derived derived =
      DeriveFixed(ClientPinAnswer(Bytes(kPeerX), Bytes(kPeerY)), kPlatformScalar);
  ASSERT_EQ(derived.result, 0);
  EXPECT_EQ(derived.platformX, kPlatformX);
  EXPECT_EQ(derived.platformY, kPlatformY);
  EXPECT_EQ(derived.sharedSecret, kSharedSecret);

  const std::vector<uint8_t> secret = FromHex(kSharedSecret);
  uint8_t pinHashEnc[16] = {};
  ASSERT_EQ(ComputePinHashEnc("1234", secret.data(), pinHashEnc), 0);
  EXPECT_EQ(ToHex(pinHashEnc, 16), kPinHashEnc);

  const std::vector<uint8_t> clientDataHash = FromHex(kClientDataHash);
  const struct {
    std::string token;
    const char* pinAuth;
  } tokens[] = {
      {kToken, kPinAuth}, {kToken16, kPinAuth16}, {std::string(kToken) + kToken64Tail, kPinAuth64}};
  for (const auto& t : tokens) {
    const std::vector<uint8_t> token = FromHex(t.token);
    uint8_t pinAuth[16] = {};
    ComputePinAuth(token.data(), static_cast<uint32_t>(token.size()), clientDataHash.data(),
                   pinAuth);
    EXPECT_EQ(ToHex(pinAuth, 16), t.pinAuth) << token.size() << "-byte token";
  }
}

TEST(PinProtocolKnownAnswers, EcdhIsSymmetric) {
  // The peer's side of the same agreement gives the same secret.
  const Derived derived =
      DeriveFixed(ClientPinAnswer(Bytes(kPlatformX), Bytes(kPlatformY)), kPeerScalar);
  ASSERT_EQ(derived.result, 0);
  EXPECT_EQ(derived.sharedSecret, kSharedSecret);
  EXPECT_EQ(derived.platformX, kPeerX);
}

TEST(PinProtocolKnownAnswers, FreshPlatformKeyEachTime) {
  const std::vector<uint8_t> answer = ClientPinAnswer(Bytes(kPeerX), Bytes(kPeerY));
  uint8_t secretA[32], xA[32], yA[32], secretB[32], xB[32], yB[32];
  ASSERT_EQ(
      DeriveSharedSecret(answer.data(), static_cast<uint32_t>(answer.size()), secretA, xA, yA), 0);
  ASSERT_EQ(
      DeriveSharedSecret(answer.data(), static_cast<uint32_t>(answer.size()), secretB, xB, yB), 0);
  EXPECT_NE(ToHex(xA, 32), ToHex(xB, 32));
  EXPECT_NE(ToHex(secretA, 32), ToHex(secretB, 32));
}

struct KeyAgreementCase {
  const char* name;
  std::vector<uint8_t> answer;
  int32_t expected;  // 1: any negative mbedTLS code
};

TEST(PinProtocolKeyAgreement, AnswerReading) {
  const Coordinate missing{Coordinate::kMissing, {}};
  const std::string x31(kPeerX, 62), y31(kPeerY, 62);
  std::string badY(kPeerY);
  badY[63] = badY[63] == '0' ? '1' : '0';  // the point leaves the curve
  std::vector<uint8_t> cutX = ClientPinAnswer(Bytes(kPeerX), missing);
  cutX.resize(cutX.size() - 10);
  const KeyAgreementCase cases[] = {
      {"x of 33 bytes gives its first 32",
       ClientPinAnswer(Bytes(std::string(kPeerX) + "AB"), Bytes(kPeerY)), 0},
      {"y of 40 bytes gives its first 32",
       ClientPinAnswer(Bytes(kPeerX), Bytes(std::string(kPeerY) + "0102030405060708")), 0},
      {"x missing", ClientPinAnswer(missing, Bytes(kPeerY)), PIN_CBOR_ERROR},
      {"y missing", ClientPinAnswer(Bytes(kPeerX), missing), PIN_CBOR_ERROR},
      {"x of 31 bytes", ClientPinAnswer(Bytes(x31), Bytes(kPeerY)), PIN_CBOR_ERROR},
      {"y of 31 bytes", ClientPinAnswer(Bytes(kPeerX), Bytes(y31)), PIN_CBOR_ERROR},
      {"x empty", ClientPinAnswer(Bytes(""), Bytes(kPeerY)), PIN_CBOR_ERROR},
      {"x a text string", ClientPinAnswer({Coordinate::kText, FromHex(kPeerX)}, Bytes(kPeerY)),
       PIN_CBOR_ERROR},
      {"not a map", FromHex("8201020304"), PIN_CBOR_ERROR},
      {"empty answer", {}, PIN_CBOR_ERROR},
      {"x string cut off by the answer's end", cutX, PIN_CBOR_ERROR},
      {"point off the curve", ClientPinAnswer(Bytes(kPeerX), Bytes(badY)), 1},
  };
  for (const KeyAgreementCase& c : cases) {
    const Derived derived = DeriveFixed(c.answer, kPlatformScalar);
    if (c.expected == 1) {
      EXPECT_LT(derived.result, 0) << c.name;
    } else {
      EXPECT_EQ(derived.result, c.expected) << c.name;
    }
    if (c.expected == 0) {
      EXPECT_EQ(derived.sharedSecret, kSharedSecret) << c.name;
    }
  }
}

TEST(PinProtocolTokenAnswer, ReadsAndDecryptsTheFirst32Bytes) {
  const Coordinate x = Bytes(kPeerX), y = Bytes(kPeerY);
  const std::vector<uint8_t> tokenEnc = FromHex(kTokenEnc);
  const std::vector<uint8_t> token16Enc = FromHex(kToken16Enc);
  const std::vector<uint8_t> token64Enc = FromHex(kToken64Enc);
  const std::vector<uint8_t> token48Enc(token64Enc.begin(), token64Enc.begin() + 48);
  const std::vector<uint8_t> token80Enc = Concat(token64Enc, token16Enc);
  const std::vector<uint8_t> short31(tokenEnc.begin(), tokenEnc.end() - 1);
  const std::vector<uint8_t> short15(token16Enc.begin(), token16Enc.end() - 1);
  const std::vector<uint8_t> empty;
  const std::string token64 = std::string(kToken) + kToken64Tail;
  struct Case {
    const char* name;
    std::vector<uint8_t> answer;
    std::string token;  // empty: refused with -1
  } const cases[] = {
      {"32-byte token", ClientPinAnswer(x, y, &tokenEnc), kToken},
      {"16-byte token", ClientPinAnswer(x, y, &token16Enc), kToken16},
      {"48-byte token", ClientPinAnswer(x, y, &token48Enc), token64.substr(0, 96)},
      {"64-byte token", ClientPinAnswer(x, y, &token64Enc), token64},
      {"80-byte token", ClientPinAnswer(x, y, &token80Enc), ""},
      {"31-byte token", ClientPinAnswer(x, y, &short31), ""},
      {"15-byte token", ClientPinAnswer(x, y, &short15), ""},
      {"empty token", ClientPinAnswer(x, y, &empty), ""},
      {"no key 2", ClientPinAnswer(x, y), ""},
      {"key 2 a text string", FromHex("A1 02 62 41 42"), ""},
      {"token cut off by the answer's end", FromHex("A1 02 58 20 00 01 02 03"), ""},
      {"empty answer", {}, ""},
  };
  const std::vector<uint8_t> secret = FromHex(kSharedSecret);
  for (const Case& c : cases) {
    std::vector<uint8_t> exact(c.answer);
    uint8_t token[PIN_TOKEN_MAX_LENGTH];
    std::memset(token, 0xEE, sizeof token);
    uint32_t tokenLength = 99;
    EXPECT_EQ(
        ReadPinTokenAnswer(exact.empty() ? nullptr : exact.data(),
                           static_cast<uint32_t>(exact.size()), secret.data(), token, &tokenLength),
        c.token.empty() ? -1 : 0)
        << c.name;
    if (c.token.empty()) {
      EXPECT_EQ(tokenLength, 99u) << c.name;
      EXPECT_EQ(ToHex(token, sizeof token), std::string(2 * sizeof token, 'E')) << c.name;
    } else {
      ASSERT_EQ(tokenLength, c.token.size() / 2) << c.name;
      EXPECT_EQ(ToHex(token, tokenLength), c.token) << c.name;
      // Nothing written past the token.
      EXPECT_EQ(ToHex(token + tokenLength, sizeof token - tokenLength),
                std::string(2 * (sizeof token - tokenLength), 'E'))
          << c.name;
    }
  }
}

TEST(PinProtocolRequest, GetPinTokenLayout) {
  const std::vector<uint8_t> x = FromHex(kPlatformX), y = FromHex(kPlatformY),
                             pinHashEnc = FromHex(kPinHashEnc);
  uint8_t request[CTAP_REQUEST_BUFFER_SIZE];
  ASSERT_EQ(WriteGetPinTokenRequest(x.data(), y.data(), pinHashEnc.data(), request),
            GET_PIN_TOKEN_REQUEST_LENGTH);
  // 06 A4 | 01 01 | 02 05 | 03 A5 {01 02, 03 38 18, 20 01, 21 58 20 x, 22 58 20 y} | 06 50 h
  const std::string expected = std::string("06A40101020503A501020338182001215820") + kPlatformX +
                               "225820" + kPlatformY + "0650" + kPinHashEnc;
  EXPECT_EQ(ToHex(request, GET_PIN_TOKEN_REQUEST_LENGTH), expected);
}

TEST(PinProtocolWipe, WipeTextEmptiesTheText) {
  std::string pin = "123456";
  WipeText(pin);
  EXPECT_TRUE(pin.empty());
}

// GetPinToken over the transport, against a simulated key that answers every
// authenticatorClientPIN request with one canned reply.
class GetPinTokenTest : public ::testing::Test {
 protected:
  void TearDown() override {
    KeyDevice::Instance().SetPlatform(nullptr);
    KeyDevice::Instance().SetClock(nullptr);
    KeyLayerReady = false;
  }

  SimDevice& PlugKey(std::vector<uint8_t> clientPinReply) {
    SimDeviceConfig config;
    config.builtin = false;
    config.cbor[0x06] = std::move(clientPinReply);
    SimDevice& device = platform.AddDevice(config);
    KeyDevice::Instance().SetPlatform(&platform);
    KeyDevice::Instance().SetClock(&platform.clock());
    KeyLayerReady = true;
    KeyEnumerate();
    KeySelect(0, 0);
    return device;
  }

  static std::vector<std::vector<uint8_t>> SentCbor(const SimDevice& device) {
    std::vector<std::vector<uint8_t>> requests;
    for (const SimDevice::Message& message : device.receivedMessages) {
      if (message.command == CTAPHID_CBOR) requests.push_back(message.payload);
    }
    return requests;
  }

  SimKeyPlatform platform;
  RecordingPrompt prompt;
};

TEST_F(GetPinTokenTest, EmptyPinShowsTheMessageAndSendsNothing) {
  SimDevice& device = PlugKey({0x00});
  const size_t callsBefore = platform.platformCalls();
  uint8_t token[PIN_TOKEN_MAX_LENGTH] = {};
  uint32_t tokenLength = 0;
  EXPECT_EQ(GetPinToken("", token, &tokenLength, prompt), -1);
  ASSERT_EQ(prompt.messages.size(), 1u);
  EXPECT_EQ(prompt.messages[0].text, "PIN cannot be empty!");
  EXPECT_EQ(prompt.messages[0].icon, PromptIcon::kWarning);
  EXPECT_FALSE(prompt.messages[0].owned);
  EXPECT_EQ(platform.platformCalls(), callsBefore);
  EXPECT_TRUE(device.receivedMessages.empty());
}

TEST_F(GetPinTokenTest, LayerNotReadyIsATransportError) {
  uint8_t token[PIN_TOKEN_MAX_LENGTH] = {};
  uint32_t tokenLength = 0;
  EXPECT_EQ(GetPinToken("1234", token, &tokenLength, prompt), KEY_STATUS_TRANSPORT_ERROR);
  EXPECT_TRUE(prompt.messages.empty());
}

TEST_F(GetPinTokenTest, CtapErrorOfTheKeyIsTheAnswer) {
  SimDevice& device = PlugKey({0x31});
  uint8_t token[PIN_TOKEN_MAX_LENGTH] = {};
  uint32_t tokenLength = 0;
  EXPECT_EQ(GetPinToken("1234", token, &tokenLength, prompt), 0x31);
  const auto sent = SentCbor(device);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(ToHex(sent[0]), "06A201010202");
}

TEST_F(GetPinTokenTest, UnreadableKeyAgreementStopsBeforeGetPinToken) {
  SimDevice& device =
      PlugKey(Concat({0x00}, ClientPinAnswer(Bytes(kPeerX), Bytes(std::string(kPeerY, 62)))));
  uint8_t token[PIN_TOKEN_MAX_LENGTH] = {};
  uint32_t tokenLength = 0;
  EXPECT_EQ(GetPinToken("1234", token, &tokenLength, prompt), PIN_CBOR_ERROR);
  EXPECT_EQ(SentCbor(device).size(), 1u);
}

TEST_F(GetPinTokenTest, TokenOfNoMultipleOf16AnswersMinusOne) {
  const std::vector<uint8_t> short31(31, 0x5A);
  PlugKey(Concat({0x00}, ClientPinAnswer(Bytes(kPeerX), Bytes(kPeerY), &short31)));
  uint8_t token[PIN_TOKEN_MAX_LENGTH] = {};
  uint32_t tokenLength = 0;
  EXPECT_EQ(GetPinToken("1234", token, &tokenLength, prompt), -1);
}

TEST_F(GetPinTokenTest, TokenFromTheKeysAnswer) {
  const std::vector<uint8_t> tokenEnc = FromHex(kTokenEnc);
  SimDevice& device =
      PlugKey(Concat({0x00}, ClientPinAnswer(Bytes(kPeerX), Bytes(kPeerY), &tokenEnc)));
  uint8_t token[PIN_TOKEN_MAX_LENGTH] = {};
  uint32_t tokenLength = 0;
  ASSERT_EQ(GetPinToken("1234", token, &tokenLength, prompt), 0);

  const auto sent = SentCbor(device);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(ToHex(sent[0]), "06A201010202");
  const std::vector<uint8_t>& request = sent[1];
  ASSERT_EQ(request.size(), GET_PIN_TOKEN_REQUEST_LENGTH);
  const std::string x = ToHex(request.data() + 18, 32), y = ToHex(request.data() + 53, 32);
  // The key's side of the agreement, from the platform key that was sent.
  const Derived keySide = DeriveFixed(ClientPinAnswer(Bytes(x), Bytes(y)), kPeerScalar);
  ASSERT_EQ(keySide.result, 0);
  const std::vector<uint8_t> secret = FromHex(keySide.sharedSecret);
  uint8_t pinHashEnc[16];
  ASSERT_EQ(ComputePinHashEnc("1234", secret.data(), pinHashEnc), 0);
  EXPECT_EQ(ToHex(request.data() + 87, 16), ToHex(pinHashEnc, 16));
  ASSERT_EQ(tokenLength, 32u);
  EXPECT_EQ(ToHex(token, 32), ToHex(AesCbcDecrypt(secret, tokenEnc)));
}

}  // namespace

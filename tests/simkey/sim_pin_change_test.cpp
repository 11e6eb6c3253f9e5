// setPIN and changePIN on the key, with Quillmark's own PIN protocol code as
// the host, over both protocols.
#include "attestation/pin_protocol.h"
#include "attestation/pin_uv_protocol.h"
#include "cbor/cbor_writer.h"
#include "credentials/pin_uv_auth.h"
#include "tests/simkey/sim_authenticator.h"

namespace {

constexpr uint8_t kSetPin = 0x03;
constexpr uint8_t kChangePin = 0x04;
constexpr uint8_t kGetPinToken = 0x05;

Bytes Padded(const std::string& pin, size_t length = 64) {
  Bytes padded(pin.begin(), pin.end());
  padded.resize(length, 0);
  return padded;
}

Bytes Left16Sha256(const std::string& pin) {
  const Bytes hash = Sha256(Bytes(pin.begin(), pin.end()));
  return Bytes(hash.begin(), hash.begin() + 16);
}

// One request of the host: its members, by key, and which to leave out.
struct PinRequest {
  PinRequest(uint8_t subCommand, Bytes newPin, std::string current = "", bool wrongParam = false,
             int leaveOut = 0)
      : subCommand(subCommand),
        newPin(std::move(newPin)),
        current(std::move(current)),
        wrongParam(wrongParam),
        leaveOut(leaveOut) {}
  uint8_t subCommand;
  Bytes newPin;         // before encryption
  std::string current;  // changePIN's and getPinToken's PIN
  bool wrongParam;
  int leaveOut;
};

class SimPinChangeTest : public SimAuthenticatorTest {
 protected:
  bool Agree(uint8_t protocol, PinUvSecret& secret, uint8_t x[32], uint8_t y[32]) {
    const Bytes answer = Cbor({0x06, 0xA2, 0x01, protocol, 0x02, 0x02}).payload;
    uint8_t sharedX[32];
    return answer.size() > 1 && answer[0] == 0 &&
           DeriveSharedX(&answer[1], static_cast<uint32_t>(answer.size() - 1), nullptr, sharedX, x,
                         y) == 0 &&
           MakePinUvSecret(protocol, sharedX, secret) == 0;
  }

  static Bytes Encrypt(const PinUvSecret& secret, const Bytes& data) {
    Bytes out(data.size() + 16);
    uint32_t length = 0;
    if (PinUvEncrypt(secret, data.data(), static_cast<uint32_t>(data.size()), out.data(),
                     &length) != 0) {
      return {};
    }
    out.resize(length);
    return out;
  }

  // The status of the request (setPIN, changePIN or getPinToken); with
  // getPinToken's success `token` holds the token.
  uint8_t Send(uint8_t protocol, const PinRequest& r, Bytes* token = nullptr) {
    PinUvSecret secret;
    uint8_t x[32], y[32];
    if (!Agree(protocol, secret, x, y)) return 0xFF;
    const Bytes newPinEnc = Encrypt(secret, r.newPin);
    const Bytes pinHashEnc = Encrypt(secret, Left16Sha256(r.current));
    Bytes message = newPinEnc;
    if (r.subCommand == kChangePin)
      message.insert(message.end(), pinHashEnc.begin(), pinHashEnc.end());
    uint8_t param[32];
    const uint32_t paramLength = ComputePinUvAuthParam(
        protocol, secret.hmacKey, 32, message.data(), static_cast<uint32_t>(message.size()), param);
    if (r.wrongParam) param[0] ^= 0x01;

    std::vector<int> members = {1, 2, 3};
    if (r.subCommand != kGetPinToken) members.insert(members.end(), {4, 5});
    if (r.subCommand != kSetPin) members.push_back(6);
    std::erase(members, r.leaveOut);
    Bytes request(1024);
    request[0] = 0x06;
    CborWriter writer(&request[1], static_cast<uint32_t>(request.size() - 1));
    writer.WriteMap(static_cast<uint32_t>(members.size()));
    for (int member : members) {
      writer.WriteInt(member);
      if (member == 1) writer.WriteInt(protocol);
      if (member == 2) writer.WriteInt(r.subCommand);
      if (member == 3) WritePlatformCoseKey(writer, x, y);
      if (member == 4) writer.WriteBytes(param, paramLength);
      if (member == 5) writer.WriteBytes(newPinEnc.data(), static_cast<uint32_t>(newPinEnc.size()));
      if (member == 6) {
        writer.WriteBytes(pinHashEnc.data(), static_cast<uint32_t>(pinHashEnc.size()));
      }
    }
    request.resize(1 + writer.position());
    const Bytes answer = Cbor(request).payload;
    if (answer.empty()) return 0xFF;
    if (answer[0] == 0 && token != nullptr) {
      const Bytes enc = DecodeAnswer(answer).Find(2).bytes();
      token->assign(enc.size(), 0);
      uint32_t length = 0;
      PinUvDecrypt(secret, enc.data(), static_cast<uint32_t>(enc.size()), token->data(), &length);
      token->resize(length);
    }
    return answer[0];
  }

  uint8_t GetToken(uint8_t protocol, const std::string& pin, Bytes* token = nullptr) {
    return Send(protocol, {kGetPinToken, {}, pin}, token);
  }

  uint8_t MakeCredentialWith(const Bytes& token) {
    const Bytes mac = HmacSha256(token, kClientDataHash);
    return Cbor(MakeCredentialRequest(Bytes(mac.begin(), mac.begin() + 16))).payload.at(0);
  }

  uint64_t ClientPinOption() {
    return DecodeAnswer(Cbor({0x04}).payload).Find(4).Find("clientPin").value;
  }
};

constexpr uint64_t kFalse = 20, kTrue = 21;

TEST_F(SimPinChangeTest, SetThenChangeTakesTheNewPinAndVoidsOldTokens) {
  for (uint8_t protocol : {1, 2}) {
    SCOPED_TRACE(int{protocol});
    Start();
    EXPECT_EQ(ClientPinOption(), kFalse);
    ASSERT_EQ(Send(protocol, {kSetPin, Padded("1234")}), 0x00);
    EXPECT_EQ(ClientPinOption(), kTrue);
    Bytes token;
    ASSERT_EQ(GetToken(protocol, "1234", &token), 0x00);
    EXPECT_EQ(MakeCredentialWith(token), 0x00);

    EXPECT_EQ(Send(protocol, {kChangePin, Padded("567890"), "0000"}), 0x31);
    EXPECT_EQ(Retries(), 7u);
    ASSERT_EQ(Send(protocol, {kChangePin, Padded("567890"), "1234"}), 0x00);
    EXPECT_EQ(Retries(), 8u);
    EXPECT_EQ(MakeCredentialWith(token), 0x33) << "the token from before the change";
    EXPECT_EQ(GetToken(protocol, "1234"), 0x31);
    ASSERT_EQ(GetToken(protocol, "567890", &token), 0x00);
    EXPECT_EQ(MakeCredentialWith(token), 0x00);
  }
}

TEST_F(SimPinChangeTest, RefusalsLeaveThePinAsItWas) {
  Bytes afterPadding = Padded("1234");
  afterPadding[40] = 0x01;
  struct Case {
    const char* name;
    const char* profilePin;
    PinRequest request;
    uint8_t status;
    uint32_t retries;  // afterwards
  };
  const Case cases[] = {
      {"setPIN without keyAgreement", "", {kSetPin, Padded("1234"), "", false, 3}, 0x14, 8},
      {"setPIN without pinUvAuthParam", "", {kSetPin, Padded("1234"), "", false, 4}, 0x14, 8},
      {"setPIN without newPinEnc", "", {kSetPin, Padded("1234"), "", false, 5}, 0x14, 8},
      {"setPIN with a PIN set", "1234", {kSetPin, Padded("5678")}, 0x33, 8},
      {"setPIN, wrong pinUvAuthParam", "", {kSetPin, Padded("1234"), "", true}, 0x33, 8},
      {"setPIN padded to 48 bytes", "", {kSetPin, Padded("1234", 48)}, 0x02, 8},
      {"setPIN of 3 digits", "", {kSetPin, Padded("123")}, 0x37, 8},
      {"setPIN of 3 code points in 6 bytes",
       "",
       {kSetPin, Padded("\xC3\xA4\xC3\xB6\xC3\xBC")},
       0x37,
       8},
      {"setPIN of 64 bytes", "", {kSetPin, Bytes(64, '1')}, 0x37, 8},
      {"setPIN with a byte after the padding", "", {kSetPin, afterPadding}, 0x37, 8},
      {"changePIN with no PIN set", "", {kChangePin, Padded("5678"), "1234"}, 0x35, 8},
      {"changePIN without pinHashEnc",
       "1234",
       {kChangePin, Padded("5678"), "1234", false, 6},
       0x14,
       8},
      {"changePIN, wrong pinUvAuthParam",
       "1234",
       {kChangePin, Padded("5678"), "1234", true},
       0x33,
       8},
      {"changePIN, wrong current PIN", "1234", {kChangePin, Padded("5678"), "4321"}, 0x31, 7},
      {"changePIN to 2 digits", "1234", {kChangePin, Padded("56"), "1234"}, 0x37, 8},
  };
  for (uint8_t protocol : {1, 2}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + ", protocol " + std::to_string(protocol));
      SimDeviceConfig config;
      config.pin = c.profilePin;
      Start(config);
      EXPECT_EQ(Send(protocol, c.request), c.status);
      EXPECT_EQ(Retries(), c.retries);
      EXPECT_EQ(ClientPinOption(), *c.profilePin != 0 ? kTrue : kFalse);
      if (*c.profilePin != 0) {
        EXPECT_EQ(GetToken(protocol, c.profilePin), 0x00);
      }
    }
  }
}

TEST_F(SimPinChangeTest, LastWrongCurrentPinBlocksAndProtocolsNotAnnouncedAreRefused) {
  SimDeviceConfig config;
  config.pin = "1234";
  config.pinRetries = 1;
  config.getInfo.pinUvAuthProtocols = std::vector<uint32_t>{1};
  Start(config);
  EXPECT_EQ(Send(2, {kChangePin, Padded("5678"), "1234"}), 0xFF) << "no key agreement";
  EXPECT_EQ(Cbor({0x06, 0xA2, 0x01, 0x02, 0x02, kChangePin}).payload, Bytes{0x02});
  EXPECT_EQ(Send(1, {kChangePin, Padded("5678"), "0000"}), 0x32);
  EXPECT_EQ(Send(1, {kChangePin, Padded("5678"), "1234"}), 0x32);
}

}  // namespace

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

// One request of the host; `leaveOut` names a member it leaves out.
struct PinRequest {
  PinRequest(uint8_t sub, Bytes newPin, std::string current = "", bool wrong = false, int out = 0)
      : subCommand(sub),
        newPin(std::move(newPin)),
        current(current),
        wrongParam(wrong),
        leaveOut(out) {}
  uint8_t subCommand;
  Bytes newPin;         // before encryption
  std::string current;  // changePIN's and getPinToken's PIN
  bool wrongParam;
  int leaveOut;
};

class SimPinChangeTest : public SimAuthenticatorTest {
 protected:
  // The status of setPIN, changePIN or getPinToken; after getPinToken
  // `token` holds the token.
  uint8_t Send(uint8_t protocol, const PinRequest& r, Bytes* token = nullptr) {
    const Bytes agreement = Cbor({0x06, 0xA2, 0x01, protocol, 0x02, 0x02}).payload;
    PinUvSecret secret;
    uint8_t sharedX[32], x[32], y[32];
    if (agreement.size() < 2 ||
        DeriveSharedX(&agreement[1], static_cast<uint32_t>(agreement.size() - 1), nullptr, sharedX,
                      x, y) != 0 ||
        MakePinUvSecret(protocol, sharedX, secret) != 0) {
      return 0xFF;
    }
    auto encrypt = [&secret](const Bytes& data) {
      Bytes out(data.size() + 16);
      uint32_t length = 0;
      PinUvEncrypt(secret, data.data(), static_cast<uint32_t>(data.size()), out.data(), &length);
      return Bytes(out.begin(), out.begin() + length);
    };
    const Bytes hash = Sha256(Bytes(r.current.begin(), r.current.end()));
    const Bytes pinHashEnc = encrypt(Bytes(hash.begin(), hash.begin() + 16));
    const Bytes newPinEnc = encrypt(r.newPin);
    Bytes message = newPinEnc;
    if (r.subCommand == kChangePin)
      message.insert(message.end(), pinHashEnc.begin(), pinHashEnc.end());
    uint8_t param[32];
    const uint32_t paramLength = ComputePinUvAuthParam(
        protocol, secret.hmacKey, 32, message.data(), static_cast<uint32_t>(message.size()), param);
    param[0] ^= r.wrongParam ? 1 : 0;

    std::vector<int> members = {1, 2, 3, 4, 5, 6};
    if (r.subCommand == kGetPinToken)
      std::erase_if(members, [](int m) { return m == 4 || m == 5; });
    if (r.subCommand == kSetPin) std::erase(members, 6);
    std::erase(members, r.leaveOut);
    Bytes request(1024, 0x06);
    CborWriter writer(&request[1], 1023);
    writer.WriteMap(static_cast<uint32_t>(members.size()));
    for (int member : members) {
      writer.WriteInt(member);
      if (member <= 2) writer.WriteInt(member == 1 ? protocol : r.subCommand);
      if (member == 3) WritePlatformCoseKey(writer, x, y);
      if (member == 4) writer.WriteBytes(param, paramLength);
      const Bytes& enc = member == 5 ? newPinEnc : pinHashEnc;
      if (member >= 5) writer.WriteBytes(enc.data(), static_cast<uint32_t>(enc.size()));
    }
    request.resize(1 + writer.position());
    const Bytes answer = Cbor(request).payload;
    if (!answer.empty() && answer[0] == 0 && token != nullptr) {
      const Bytes enc = DecodeAnswer(answer).Find(2).bytes();
      uint32_t length = 0;
      token->resize(enc.size());
      PinUvDecrypt(secret, enc.data(), static_cast<uint32_t>(enc.size()), token->data(), &length);
      token->resize(length);
    }
    return answer.empty() ? 0xFF : answer[0];
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
  const Bytes pin = Padded("5678");
  Bytes afterPadding = pin;
  afterPadding[40] = 0x01;
  struct Case {
    const char* name;
    const char* profilePin;
    PinRequest request;
    uint8_t status;  // a wrong current PIN alone costs a retry
  };
  const Case cases[] = {
      {"set, no keyAgreement", "", {kSetPin, pin, "", false, 3}, 0x14},
      {"set, no pinUvAuthParam", "", {kSetPin, pin, "", false, 4}, 0x14},
      {"set, no newPinEnc", "", {kSetPin, pin, "", false, 5}, 0x14},
      {"set with a PIN set", "1234", {kSetPin, pin}, 0x33},
      {"set, wrong pinUvAuthParam", "", {kSetPin, pin, "", true}, 0x33},
      {"set, padded to 48 bytes", "", {kSetPin, Padded("5678", 48)}, 0x02},
      {"set 3 digits", "", {kSetPin, Padded("567")}, 0x37},
      {"set 3 code points in 6 bytes", "", {kSetPin, Padded("\xC3\xA4\xC3\xB6\xC3\xBC")}, 0x37},
      {"set 64 bytes, no padding", "", {kSetPin, Bytes(64, '1')}, 0x37},
      {"set, a byte after the padding", "", {kSetPin, afterPadding}, 0x37},
      {"change with no PIN set", "", {kChangePin, pin, "1234"}, 0x35},
      {"change, no pinHashEnc", "1234", {kChangePin, pin, "1234", false, 6}, 0x14},
      {"change, wrong pinUvAuthParam", "1234", {kChangePin, pin, "1234", true}, 0x33},
      {"change, wrong current PIN", "1234", {kChangePin, pin, "4321"}, 0x31},
      {"change to 2 digits", "1234", {kChangePin, Padded("56"), "1234"}, 0x37},
  };
  for (uint8_t protocol : {1, 2}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + ", protocol " + std::to_string(protocol));
      SimDeviceConfig config;
      config.pin = c.profilePin;
      Start(config);
      EXPECT_EQ(Send(protocol, c.request), c.status);
      EXPECT_EQ(Retries(), c.status == 0x31 ? 7u : 8u);
      const bool hadPin = *c.profilePin != 0;
      EXPECT_EQ(ClientPinOption(), hadPin ? kTrue : kFalse);
      EXPECT_EQ(hadPin ? GetToken(protocol, c.profilePin) : 0, 0x00) << "the PIN as it was";
    }
  }
}

TEST_F(SimPinChangeTest, LastWrongCurrentPinBlocksAndProtocolTwoUnannouncedIsRefused) {
  SimDeviceConfig config;
  config.pin = "1234";
  config.pinRetries = 1;
  config.getInfo.pinUvAuthProtocols = std::vector<uint32_t>{1};
  Start(config);
  EXPECT_EQ(Cbor({0x06, 0xA2, 0x01, 0x02, 0x02, kChangePin}).payload, Bytes{0x02});
  EXPECT_EQ(Send(1, {kChangePin, Padded("5678"), "0000"}), 0x32);
  EXPECT_EQ(Send(1, {kChangePin, Padded("5678"), "1234"}), 0x32);
}

}  // namespace

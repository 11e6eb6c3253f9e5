// The key's side of PIN protocol 1, driven as a host drives it.
#include "simkey/sim_client_pin.h"

#include "tests/simkey/sim_authenticator.h"

namespace {

Bytes Left16(const Bytes& bytes) { return Bytes(bytes.begin(), bytes.begin() + 16); }

class SimClientPinTest : public SimAuthenticatorTest {};

TEST_F(SimClientPinTest, RightPinGivesTheTokenThatMakeCredentialAccepts) {
  SimDeviceConfig config;
  config.pin = "123456";
  Start(config);

  const Item agreement = DecodeAnswer(Cbor(kGetKeyAgreement).payload);
  const Item& key = agreement.Find(1);
  EXPECT_EQ(key.Find(1).value, 2u) << "EC2";
  EXPECT_EQ(key.Find(3).major, 1);
  EXPECT_EQ(key.Find(3).value, 24u) << "-25";
  EXPECT_EQ(key.Find(-1).value, 1u) << "P-256";
  EXPECT_EQ(Retries(), 8u);

  Bytes token;
  ASSERT_EQ(GetPinToken("123456", &token), 0x00);
  EXPECT_EQ(token.size(), 32u);
  EXPECT_EQ(Cbor(kGetKeyAgreement).payload, Cbor(kGetKeyAgreement).payload)
      << "a right PIN keeps the key-agreement key";

  const Bytes pinAuth = Left16(HmacSha256(token, kClientDataHash));
  const Bytes request = MakeCredentialRequest(pinAuth);
  ASSERT_EQ(request.size(), 191u);
  const HostReply reply = Cbor(request);
  ASSERT_FALSE(reply.payload.empty());
  EXPECT_EQ(reply.payload[0], 0x00);
  EXPECT_EQ(DecodeAnswer(reply.payload).Find(2).text.at(32), 0x45) << "user verified too";

  // A later getPinToken hands out the same token.
  Bytes again;
  ASSERT_EQ(GetPinToken("123456", &again), 0x00);
  EXPECT_EQ(again, token);
}

TEST_F(SimClientPinTest, WrongPinsCountDownToBlocked) {
  SimDeviceConfig config;
  config.pin = "1234";
  config.pinRetries = 3;
  Start(config);

  const Bytes keyBefore = Cbor(kGetKeyAgreement).payload;
  EXPECT_EQ(GetPinToken("4321"), 0x31);
  EXPECT_NE(Cbor(kGetKeyAgreement).payload, keyBefore) << "a wrong PIN replaces the key";
  EXPECT_EQ(Retries(), 2u);
  EXPECT_EQ(GetPinToken("1234"), 0x00);
  EXPECT_EQ(Retries(), 3u) << "a right PIN restores the retries";

  const uint8_t expected[] = {0x31, 0x31, 0x32};
  for (uint8_t status : expected) EXPECT_EQ(GetPinToken("0000"), status);
  EXPECT_EQ(Retries(), 0u);
  EXPECT_EQ(GetPinToken("1234"), 0x32) << "blocked even for the right PIN";
}

TEST_F(SimClientPinTest, ShortTokenLengthIsHonoured) {
  SimDeviceConfig config;
  config.pin = "1234";
  config.pinTokenLength = 16;
  Start(config);
  Bytes token;
  ASSERT_EQ(GetPinToken("1234", &token), 0x00);
  ASSERT_EQ(token.size(), 16u);
  EXPECT_EQ(Cbor(MakeCredentialRequest(Left16(HmacSha256(token, kClientDataHash)))).payload[0],
            0x00);
  // A host that takes 32 bytes, reading on past the string, proves nothing.
  Bytes padded = token;
  padded.resize(32, 0xA5);
  EXPECT_EQ(Cbor(MakeCredentialRequest(Left16(HmacSha256(padded, kClientDataHash)))).payload,
            Bytes{0x33});
}

TEST_F(SimClientPinTest, BadRequestsAreRefusedWithoutCostingARetry) {
  SimDeviceConfig config;
  config.pin = "1234";
  Start(config);
  HostAgreement agreement;
  ASSERT_TRUE(Agree(agreement));
  Bytes offCurve = agreement.y;
  offCurve[31] ^= 0x01;
  HostAgreement badPoint = agreement;
  badPoint.y = offCurve;

  struct Case {
    const char* name;
    Bytes request;
    uint8_t status;
  };
  const Case cases[] = {
      {"not CBOR", {0x06, 0xA2, 0x01}, 0x12},
      {"not a map", {0x06, 0x81, 0x01}, 0x12},
      {"no subCommand", {0x06, 0xA1, 0x01, 0x01}, 0x14},
      {"PIN protocol 3", {0x06, 0xA2, 0x01, 0x03, 0x02, 0x02}, 0x02},
      {"token with permissions, none given", {0x06, 0xA2, 0x01, 0x01, 0x02, 0x09}, 0x14},
      {"token with permissions 0", {0x06, 0xA3, 0x01, 0x01, 0x02, 0x09, 0x09, 0x00}, 0x02},
      {"setPIN without its members", {0x06, 0xA2, 0x01, 0x01, 0x02, 0x03}, 0x14},
      {"subCommand 8", {0x06, 0xA2, 0x01, 0x01, 0x02, 0x08}, 0x3E},
      {"no pinHashEnc", {0x06, 0xA2, 0x01, 0x01, 0x02, 0x05}, 0x14},
      {"short pinHashEnc", PinTokenRequest(agreement, Bytes(15, 0)), 0x02},
      {"point off the curve", PinTokenRequest(badPoint, Bytes(16, 0)), 0x02},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Cbor(c.request).payload, Bytes{c.status}) << c.name;
  }
  EXPECT_EQ(Retries(), 8u);
}

TEST_F(SimClientPinTest, KeyWithoutPinSaysSo) {
  Start();
  EXPECT_EQ(GetPinToken("1234"), 0x35);
}

}  // namespace

namespace {

TEST_F(SimClientPinTest, RetriesQuestionsTakeEitherProtocol) {
  SimDeviceConfig config;
  config.pinRetries = 6;
  config.uvRetries = 4;
  config.pinPowerCycle = true;
  Start(config);
  // {3: 6, 4: true} and {5: 4}, asked with protocol 1 or 2.
  for (uint8_t protocol : {0x01, 0x02}) {
    EXPECT_EQ(Cbor({0x06, 0xA2, 0x01, protocol, 0x02, 0x01}).payload,
              (Bytes{0x00, 0xA2, 0x03, 0x06, 0x04, 0xF5}))
        << int{protocol};
    EXPECT_EQ(Cbor({0x06, 0xA2, 0x01, protocol, 0x02, 0x07}).payload,
              (Bytes{0x00, 0xA1, 0x05, 0x04}))
        << int{protocol};
  }
  // Protocol 3 is no protocol.
  EXPECT_EQ(Cbor({0x06, 0xA2, 0x01, 0x03, 0x02, 0x01}).payload, Bytes{0x02});
}

}  // namespace

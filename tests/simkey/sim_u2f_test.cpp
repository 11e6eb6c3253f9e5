// The key's U2F REGISTER: the wait for the touch, the pieces, the faults.
#include "simkey/sim_u2f.h"

#include "simkey/sim_attestation.h"
#include "tests/simkey/sim_authenticator.h"

namespace {

Bytes ExtendedRegister() {
  return Join(Join({0x00, 0x01, 0x03, 0x00, 0x00, 0x00, 0x40}, Join(kChallenge, kApplication)),
              {0x00, 0x00});
}

Bytes ShortRegister() {
  return Join({0x00, 0x01, 0x03, 0x00, 0x40}, Join(kChallenge, kApplication));
}

uint16_t StatusOf(const Bytes& reply) {
  return reply.size() < 2 ? 0 : static_cast<uint16_t>(reply[reply.size() - 2] << 8 | reply.back());
}

Bytes DataOf(const Bytes& reply) {
  return reply.size() < 2 ? Bytes() : Bytes(reply.begin(), reply.end() - 2);
}

// The parts of a registration answer, as the host splits it.
struct Registration {
  Bytes userKey, keyHandle, certificate, signature;
};

bool Split(const Bytes& data, Registration& out) {
  if (data.size() < 67 || data[0] != 0x05) return false;
  const size_t handleLength = data[66];
  const size_t certificateStart = 67 + handleLength;
  if (certificateStart + 4 > data.size() || data[certificateStart] != 0x30 ||
      data[certificateStart + 1] != 0x82) {
    return false;
  }
  const size_t certificateEnd =
      certificateStart + 4 + (size_t{data[certificateStart + 2]} << 8 | data[certificateStart + 3]);
  if (certificateEnd >= data.size()) return false;
  auto at = [&](size_t i) { return data.begin() + static_cast<long>(i); };
  out.userKey.assign(at(1), at(66));
  out.keyHandle.assign(at(67), at(certificateStart));
  out.certificate.assign(at(certificateStart), at(certificateEnd));
  out.signature.assign(at(certificateEnd), data.end());
  return true;
}

bool SignatureVerifies(const Registration& registration) {
  const Bytes signedData = Join(Join(Join({0x00}, kApplication), kChallenge),
                                Join(registration.keyHandle, registration.userKey));
  return VerifyP256(SimAttestation().attestationPublicKey, signedData, registration.signature);
}

class SimU2fTest : public SimAuthenticatorTest {};

TEST_F(SimU2fTest, RegisterAnswers6985UntilTheTouch) {
  Start();  // the default touch delay, 1500 ms
  const uint64_t start = platform.clock().NowMs();
  Bytes reply;
  int polls = 0;
  for (; polls < 100; ++polls) {
    reply = Apdu(ExtendedRegister());
    if (StatusOf(reply) != 0x6985) break;
    EXPECT_TRUE(DataOf(reply).empty());
    platform.clock().Advance(200);
  }
  ASSERT_EQ(StatusOf(reply), 0x9000);
  EXPECT_GE(platform.clock().NowMs() - start, 1500u);
  EXPECT_EQ(polls, 7) << "1500 ms at 220 ms a poll";

  Registration registration;
  ASSERT_TRUE(Split(DataOf(reply), registration));
  EXPECT_EQ(registration.userKey.size(), 65u);
  EXPECT_EQ(registration.userKey[0], 0x04);
  EXPECT_EQ(registration.keyHandle.size(), SIMKEY_U2F_KEY_HANDLE_LENGTH);
  EXPECT_EQ(registration.certificate, SimAttestation().chain[SIMKEY_CHAIN_LEAF]);
  EXPECT_TRUE(SignatureVerifies(registration));

  EXPECT_EQ(StatusOf(Apdu(ExtendedRegister())), 0x6985) << "a new attempt waits again";
}

TEST_F(SimU2fTest, ShortFormPollsWithoutPausingStillReachTheTouch) {
  SimDeviceConfig config;
  config.u2f.rejectExtended = true;
  Start(config);
  EXPECT_EQ(Apdu(ExtendedRegister()), (Bytes{0x67, 0x00}));
  int polls = 1;
  while (StatusOf(Apdu(ShortRegister())) == 0x6985 && polls < 1000) ++polls;
  EXPECT_EQ(polls, 1500 / SIMKEY_U2F_REGISTER_MS + 1);
}

TEST_F(SimU2fTest, PiecesJoinToTheRegistration) {
  struct Case {
    uint32_t pieces;
    bool firstPieceEmpty;
    size_t getResponses;
  };
  const Case cases[] = {{2, false, 1}, {3, false, 2}, {5, false, 4}, {2, true, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.pieces << " pieces, first empty " << c.firstPieceEmpty);
    SimDeviceConfig config;
    config.u2f.touchDelayMs = 0;
    config.u2f.pieces = c.pieces;
    config.u2f.firstPieceEmpty = c.firstPieceEmpty;
    Start(config);
    std::vector<Bytes> answers = {Apdu(ExtendedRegister())};
    while (StatusOf(answers.back()) >> 8 == 0x61 && answers.size() < 20) {
      const uint8_t le = static_cast<uint8_t>(StatusOf(answers.back()));
      answers.push_back(Apdu({0x00, 0xC0, 0x00, 0x00, le}));
    }
    ASSERT_EQ(StatusOf(answers.back()), 0x9000);
    EXPECT_EQ(answers.size(), c.getResponses + 1);
    EXPECT_EQ(DataOf(answers[0]).empty(), c.firstPieceEmpty);

    Bytes joined;
    for (const Bytes& answer : answers) joined = Join(joined, DataOf(answer));
    // Each 61XX tells what is still held, 00 for 256 bytes or more.
    size_t received = 0;
    for (size_t i = 0; i + 1 < answers.size(); ++i) {
      received += DataOf(answers[i]).size();
      const size_t left = joined.size() - received;
      EXPECT_EQ(StatusOf(answers[i]) & 0xFF, left < 256 ? left : 0) << i;
    }
    Registration registration;
    ASSERT_TRUE(Split(joined, registration));
    EXPECT_TRUE(SignatureVerifies(registration));
  }
}

TEST_F(SimU2fTest, GetResponseNeedsSomethingHeld) {
  SimDeviceConfig config;
  config.u2f.touchDelayMs = 0;
  config.u2f.pieces = 2;
  Start(config);
  EXPECT_EQ(Apdu({0x00, 0xC0, 0x00, 0x00, 0x00}), (Bytes{0x69, 0x85}));
  EXPECT_EQ(StatusOf(Apdu(ShortRegister())) >> 8, 0x61);
  Apdu({0x00, 0xA4, 0x04, 0x00, 0x08, 0xA0, 0x00, 0x00, 0x06, 0x47, 0x2F, 0x00, 0x01});
  EXPECT_EQ(Apdu({0x00, 0xC0, 0x00, 0x00, 0x00}), (Bytes{0x69, 0x85})) << "dropped by the SELECT";
}

TEST_F(SimU2fTest, FaultsAndMalformedRequests) {
  struct Case {
    const char* name;
    void (*configure)(SimU2fOptions&);
    Bytes request;
    uint16_t status;
  };
  const Bytes wrongLc =
      Join({0x00, 0x01, 0x03, 0x00, 0x00, 0x00, 0x41}, Join(kChallenge, kApplication));
  const Case cases[] = {
      {"Lc not 64", [](SimU2fOptions&) {}, Join(wrongLc, {0x00}), 0x6700},
      {"no data", [](SimU2fOptions&) {}, {0x00, 0x01, 0x03, 0x00}, 0x6700},
      {"extra byte", [](SimU2fOptions&) {}, Join(ShortRegister(), {0x00, 0x00}), 0x6700},
      {"rejected extended", [](SimU2fOptions& o) { o.rejectExtended = true; }, ExtendedRegister(),
       0x6700},
      {"short form with Le", [](SimU2fOptions&) {}, Join(ShortRegister(), {0x00}), 0x9000},
  };
  for (const Case& c : cases) {
    SimDeviceConfig config;
    config.u2f.touchDelayMs = 0;
    c.configure(config.u2f);
    Start(config);
    EXPECT_EQ(StatusOf(Apdu(c.request)), c.status) << c.name;
  }

  SimDeviceConfig config;
  config.u2f.touchDelayMs = 0;
  config.u2f.wrongSignature = true;
  config.u2f.corruptCertificate = true;
  Start(config);
  Registration registration;
  ASSERT_TRUE(Split(DataOf(Apdu(ExtendedRegister())), registration));
  EXPECT_EQ(registration.certificate.size(), SimAttestation().chain[0].size()) << "still framed";
  HostCertificate certificate;
  EXPECT_FALSE(certificate.Parse(registration.certificate));
  EXPECT_FALSE(SignatureVerifies(registration));
}

}  // namespace

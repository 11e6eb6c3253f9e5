// What a host that reads credentials, fingerprints and large blobs gets from
// the simulated key: the host's own request builders and answer readers,
// through the real framing.
#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <string>

#include "credentials/bio_enrollment.h"
#include "credentials/credman_answers.h"
#include "credentials/credman_requests.h"
#include "credentials/large_blobs.h"
#include "simkey/sim_credential_store.h"
#include "simkey/sim_large_blobs.h"
#include "tests/simkey/sim_authenticator.h"

namespace {

Bytes Left16(const Bytes& bytes) { return Bytes(bytes.begin(), bytes.begin() + 16); }
uint8_t StatusOf(const Bytes& answer) { return answer.empty() ? 0xFF : answer[0]; }
Bytes Tail(const Bytes& answer) {
  return answer.empty() ? answer : Bytes(answer.begin() + 1, answer.end());
}

SimStoredCredential Stored(const char* rpId, uint8_t user) {
  SimStoredCredential c;
  c.rpId = rpId;
  c.userId = {user};
  c.userName = "user";
  return c;
}

class SimStoreTest : public SimAuthenticatorTest {
 protected:
  // A key with a PIN and a token of `permissions` (0: getPinToken's).
  void StartWithToken(SimDeviceConfig config, uint8_t permissions = 0) {
    config.pin = "1234";
    Start(std::move(config));
    ASSERT_EQ(GetPinToken("1234", &token, permissions), 0x00);
  }

  Bytes Credman(uint8_t sub, uint8_t command = CTAP_CREDENTIAL_MANAGEMENT,
                const char* rpId = "a.example") {
    const Bytes hash = Sha256(Bytes(rpId, rpId + strlen(rpId)));
    const CredmanCall call{command, sub, hash.data()};
    uint8_t message[CREDMAN_AUTH_MESSAGE_MAX];
    const uint32_t length = WriteCredmanAuthMessage(call, message);
    const Bytes mac = Left16(HmacSha256(token, Bytes(message, message + length)));
    const PinUvAuth auth{1, mac.data(), 16};
    uint8_t request[CTAP_REQUEST_BUFFER_SIZE];
    const uint32_t size = WriteCredmanRequest(call, auth, request);
    // What the host does not write (deleting, updating) goes bare.
    if (size == 0) return Cbor({command, 0xA1, 0x01, sub}).payload;
    return Cbor(Bytes(request, request + size)).payload;
  }

  Bytes token;
};

TEST_F(SimStoreTest, CredentialManagementStatusesFollowTheStoreAndQuirks) {
  using Mutate = std::function<void(SimDeviceConfig&)>;
  struct Step {
    uint8_t sub;
    uint8_t status;
    uint8_t command = CTAP_CREDENTIAL_MANAGEMENT;
  };
  const auto three = [](SimDeviceConfig& c) {
    c.credentials = {Stored("a.example", 1), Stored("a.example", 2), Stored("b.example", 3)};
  };
  const struct {
    const char* name;
    Mutate mutate;
    uint8_t permissions;
    std::vector<Step> steps;
  } cases[] = {
      {"a whole listing, then past its end; deleting and updating are not offered",
       three,
       0,
       {{1, 0}, {2, 0}, {3, 0}, {3, 0x30}, {4, 0}, {5, 0}, {5, 0x30}, {6, 0x3E}, {7, 0x3E}}},
      {"GetNext without its Begin", three, 0, {{3, 0x30}, {5, 0x30}, {2, 0}, {5, 0x30}}},
      {"an empty key", [](SimDeviceConfig&) {}, 0, {{1, 0}, {2, 0x2E}, {4, 0x2E}}},
      {"an empty key that misses a parameter",
       [](SimDeviceConfig& c) { c.credmanQuirks.emptyRpsStatus = 0x14; },
       0,
       {{2, 0x14}}},
      {"a hostile total, then NO_CREDENTIALS past the end",
       [&](SimDeviceConfig& c) {
         three(c);
         c.credmanQuirks.claimedTotalCredentials = 4000000000u;
         c.credmanQuirks.pastEndStatus = 0x2E;
       },
       0,
       {{4, 0}, {5, 0}, {5, 0x2E}}},
      {"the preview command where announced",
       [](SimDeviceConfig& c) { c.getInfo.options["credMgmt"] = false; },
       0,
       {{1, 0x01}, {1, 0, CTAP_CREDENTIAL_MANAGEMENT_PREVIEW}}},
      {"no FIDO_2_1: only the preview",
       [](SimDeviceConfig& c) { c.getInfo.versions = {{"FIDO_2_0"}}; },
       0,
       {{1, 0x01}, {1, 0, CTAP_CREDENTIAL_MANAGEMENT_PREVIEW}}},
      {"a read-only token reads",
       [](SimDeviceConfig& c) { c.getInfo.options["perCredMgmtRO"] = true; },
       0x40,
       {{1, 0}}},
      {"a makeCredential token does not", [](SimDeviceConfig&) {}, 0x01, {{1, 0x40}, {2, 0x40}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimDeviceConfig config;
    c.mutate(config);
    StartWithToken(config, c.permissions);
    for (const Step& step : c.steps) {
      EXPECT_EQ(StatusOf(Credman(step.sub, step.command)), step.status)
          << "subcommand " << int{step.sub};
    }
  }
}

TEST_F(SimStoreTest, AnswersCarryTheStoredMembers) {
  SimDeviceConfig config;
  SimStoredCredential full = Stored("a.example", 7);
  full.rpName = "A";
  full.displayName = "User Seven";
  full.credProtect = 2;
  full.largeBlobKey = true;
  full.thirdPartyPayment = true;
  config.credentials = {full, Stored("a.example", 8)};
  config.maxCredentials = 5;
  StartWithToken(config);

  CredsMetadata metadata;
  ASSERT_EQ(ReadCredsMetadata(Tail(Credman(1)).data(), Tail(Credman(1)).size(), metadata), 0);
  EXPECT_EQ(metadata.existing, 2u);
  EXPECT_EQ(metadata.remaining, 3u);

  const Bytes rpAnswer = Tail(Credman(2));
  RelyingPartyAnswer rp;
  ASSERT_EQ(ReadRelyingPartyAnswer(rpAnswer.data(), rpAnswer.size(), rp), 0);
  EXPECT_EQ(rp.id, "a.example");
  EXPECT_EQ(rp.name, "A");
  EXPECT_EQ(rp.totalRps, 1u);
  EXPECT_EQ(rp.rpIdHash, Sha256(Bytes{'a', '.', 'e', 'x', 'a', 'm', 'p', 'l', 'e'}));

  const Bytes first = Tail(Credman(4));
  CredentialAnswer credential;
  ASSERT_EQ(ReadCredentialAnswer(first.data(), first.size(), credential), 0);
  EXPECT_EQ(credential.userId, Bytes{7});
  EXPECT_EQ(credential.displayName, "User Seven");
  EXPECT_EQ(credential.credentialId, SimDerivedCredentialId("a.example", {7}));
  EXPECT_EQ(credential.credentialType, "public-key");
  EXPECT_EQ(credential.totalCredentials, 2u);
  EXPECT_EQ(credential.credProtect, 2u);
  EXPECT_TRUE(credential.hasLargeBlobKey);
  EXPECT_EQ(credential.thirdPartyPayment, true);
  EXPECT_FALSE(credential.publicKey.empty());

  const Bytes second = Tail(Credman(5));
  CredentialAnswer next;
  ASSERT_EQ(ReadCredentialAnswer(second.data(), second.size(), next), 0);
  EXPECT_FALSE(next.totalCredentials.has_value()) << "only the first answer counts";
  EXPECT_FALSE(next.credProtect.has_value());
  EXPECT_FALSE(next.hasLargeBlobKey);
  EXPECT_FALSE(next.thirdPartyPayment.has_value());
}

TEST_F(SimStoreTest, QuirksLeaveMembersOut) {
  SimDeviceConfig config;
  config.credentials = {Stored("a.example", 1)};
  config.credmanQuirks.totalRps = SimCredmanQuirks::TotalRps::kLeftOut;
  config.credmanQuirks.noMaxRemaining = true;
  StartWithToken(config);
  CredsMetadata metadata;
  const Bytes meta = Tail(Credman(1));
  ASSERT_EQ(ReadCredsMetadata(meta.data(), meta.size(), metadata), 0);
  EXPECT_FALSE(metadata.remaining.has_value());
  RelyingPartyAnswer rp;
  const Bytes first = Tail(Credman(2));
  ASSERT_EQ(ReadRelyingPartyAnswer(first.data(), first.size(), rp), 0);
  EXPECT_FALSE(rp.totalRps.has_value());

  SimDeviceConfig empty;
  empty.credmanQuirks.emptyRpsStatus = 0;
  empty.credmanQuirks.totalRps = SimCredmanQuirks::TotalRps::kLeftOutWhenNone;
  StartWithToken(empty);
  EXPECT_EQ(Credman(2), (Bytes{0x00, 0xA0})) << "an answer with no rp and no total";
  empty.credmanQuirks.totalRps = SimCredmanQuirks::TotalRps::kGiven;
  StartWithToken(empty);
  EXPECT_EQ(Credman(2), (Bytes{0x00, 0xA1, 0x05, 0x00}));
}

TEST_F(SimStoreTest, FingerprintsLargeBlobsAndUvTokens) {
  uint8_t request[CTAP_REQUEST_BUFFER_SIZE];
  const auto send = [&](uint32_t length) { return Cbor(Bytes(request, request + length)).payload; };
  const auto enumerate = [&](uint8_t command) {
    uint8_t message[BIO_AUTH_MESSAGE_LENGTH];
    WriteBioEnumerateAuthMessage(message);
    const Bytes mac = Left16(HmacSha256(token, Bytes(message, message + 2)));
    return send(WriteBioEnumerateRequest(command, PinUvAuth{1, mac.data(), 16}, request));
  };

  SimDeviceConfig config;
  config.getInfo.options["userVerificationMgmtPreview"] = true;
  StartWithToken(config);
  EXPECT_EQ(StatusOf(send(WriteBioSensorInfoRequest(CTAP_BIO_ENROLLMENT, request))), 0x00);
  EXPECT_EQ(StatusOf(enumerate(CTAP_BIO_ENROLLMENT)), 0x2C) << "none enrolled";
  config.fingerprints = {{{0x01}, "thumb"}, {{0x02}, ""}};
  StartWithToken(config, 0x04);
  EXPECT_EQ(StatusOf(enumerate(CTAP_BIO_ENROLLMENT_PREVIEW)), 0x40) << "a cm token";
  StartWithToken(config, 0x08);
  std::vector<Enrollment> enrollments;
  const Bytes listed = Tail(enumerate(CTAP_BIO_ENROLLMENT_PREVIEW));
  ASSERT_EQ(ReadEnrollments(listed.data(), listed.size(), enrollments), 0);
  ASSERT_EQ(enrollments.size(), 2u);
  EXPECT_EQ(enrollments[0].friendlyName, "thumb");
  EXPECT_FALSE(enrollments[1].friendlyName.has_value());

  // Large blobs: the default array in pieces; lengths and offsets checked.
  const Bytes array = SimEmptyLargeBlobArray();
  const LargeBlobCheck check = CheckLargeBlobArray(array.data(), array.size());
  EXPECT_EQ(check.digest, LARGE_BLOB_DIGEST_OK);
  EXPECT_EQ(check.entries, 0);
  const Bytes piece = send(WriteLargeBlobGetRequest(10, 10, request));
  Bytes expected = {0xA1, 0x01, 0x47};
  expected.insert(expected.end(), array.begin() + 10, array.end());
  EXPECT_EQ(Tail(piece), expected);
  EXPECT_EQ(StatusOf(send(WriteLargeBlobGetRequest(1200 - 64, 0, request))), 0x00);
  EXPECT_EQ(StatusOf(send(WriteLargeBlobGetRequest(1200 - 63, 0, request))), 0x03);
  EXPECT_EQ(StatusOf(send(WriteLargeBlobGetRequest(1, 18, request))), 0x03) << "past the end";
  EXPECT_EQ(StatusOf(Cbor({0x0C, 0xA2, 0x02, 0x41, 0x00, 0x03, 0x00}).payload), 0x01) << "set";
}

TEST_F(SimStoreTest, UvTokensFollowTheAnnouncedOptions) {
  // getPinUvAuthTokenUsingUvWithPermissions, protocol 1, cm.
  const auto uvToken = [&]() {
    HostAgreement agreement;
    if (!Agree(agreement)) return uint8_t{0xFF};
    Bytes request = {0x06, 0xA4, 0x01, 0x01, 0x02, 0x06, 0x03, 0xA5,
                     0x01, 0x02, 0x03, 0x38, 0x18, 0x20, 0x01, 0x21};
    AddBytes(request, agreement.x);
    request.push_back(0x22);
    AddBytes(request, agreement.y);
    request.insert(request.end(), {0x09, 0x04});
    return StatusOf(Cbor(request).payload);
  };
  const struct {
    const char* name;
    std::map<std::string, bool> options;
    uint8_t uvAnswer;
    uint8_t status;
  } cases[] = {
      {"the default key has no built-in UV", {}, 0, 0x30},
      {"UV announced", {{"uv", true}}, 0, 0x00},
      {"UV without pinUvAuthToken", {{"uv", true}, {"pinUvAuthToken", false}}, 0, 0x3E},
      {"the finger does not match", {{"uv", true}}, 0x3F, 0x3F},
      {"UV blocked", {{"uv", true}}, 0x3C, 0x3C},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimDeviceConfig config;
    config.getInfo.options = c.options;
    config.uvAnswer = c.uvAnswer;
    config.touchDelayMs = 700;
    Start(config);
    const uint64_t before = platform.clock().NowMs();
    EXPECT_EQ(uvToken(), c.status);
    if (c.status == 0) {
      EXPECT_GE(platform.clock().NowMs() - before, 700u) << "the finger takes time";
    }
  }
}

TEST_F(SimStoreTest, MakeCredentialWithRkFillsTheStore) {
  SimDeviceConfig config;
  config.maxCredentials = 1;
  Start(config);
  Bytes rk = MakeCredentialRequest();
  rk[1] = 0xA5;
  rk.insert(rk.end(), {0x07, 0xA1, 0x62, 'r', 'k', 0xF5});
  const auto remaining = [&] { return DecodeAnswer(Cbor({0x04}).payload).Find(0x14).value; };
  EXPECT_EQ(remaining(), 1u);
  EXPECT_EQ(StatusOf(Cbor(rk).payload), 0x00);
  EXPECT_EQ(remaining(), 0u);
  EXPECT_EQ(StatusOf(Cbor(rk).payload), 0x00) << "the same rp and user replace the older one";
  const auto userId = std::search(rk.begin(), rk.end(), kUserId.begin(), kUserId.end());
  ASSERT_NE(userId, rk.end());
  *userId ^= 0x01;  // another user
  EXPECT_EQ(StatusOf(Cbor(rk).payload), 0x28) << "full";
}

}  // namespace

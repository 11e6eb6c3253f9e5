// Canned answers; the well-formed ones were encoded with python3-fido2's CBOR
// encoder.
#include <gtest/gtest.h>

#include "credentials/bio_enrollment.h"
#include "credentials/credman_answers.h"
#include "tests/credentials/hex_bytes.h"

namespace {

const std::string kRp =
    "a303a26269646b6578616d706c652e636f6d646e616d6562457804582011111111111111111111111111111111"
    "111111111111111111111111111111110502";
const std::string kCredential =
    "a706a3626964420102646e616d6565616c6963656b646973706c61794e616d6565416c69636507a26269644"
    "2c1c264747970656a7075626c69632d6b657908a20102032609020a030b582022222222222222222222222222"
    "222222222222222222222222222222222222220cf5";

template <typename Record>
int32_t Read(int32_t (*reader)(const uint8_t*, uint32_t, Record&), const std::string& hex,
             Record& out) {
  const std::vector<uint8_t> answer = HexBytes(hex);
  return reader(answer.data(), static_cast<uint32_t>(answer.size()), out);
}

TEST(CredmanAnswers, Metadata) {
  struct Case {
    std::string hex;
    int32_t result;
    std::optional<uint32_t> existing, remaining;
  } cases[] = {
      {"a201030216", ANSWER_OK, 3, 22},
      {"a10103", ANSWER_OK, 3, std::nullopt},
      {"", ANSWER_OK, std::nullopt, std::nullopt},
      {"a1011bffffffffffffffff", ANSWER_OK, 0xFFFFFFFF, std::nullopt},  // saturates
      {"a2016133020a", ANSWER_WRONG_TYPE, std::nullopt, std::nullopt},
      {"a20103", ANSWER_UNREADABLE, std::nullopt, std::nullopt},  // cut off
      {"8101", ANSWER_UNREADABLE, std::nullopt, std::nullopt},
      {"bbffffffffffffffff01", ANSWER_UNREADABLE, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    CredsMetadata metadata;
    EXPECT_EQ(Read(ReadCredsMetadata, c.hex, metadata), c.result) << c.hex;
    EXPECT_EQ(metadata.existing, c.existing) << c.hex;
    EXPECT_EQ(metadata.remaining, c.remaining) << c.hex;
  }
}

TEST(CredmanAnswers, RelyingParty) {
  RelyingPartyAnswer rp;
  ASSERT_EQ(Read(ReadRelyingPartyAnswer, kRp, rp), ANSWER_OK);
  EXPECT_EQ(rp.id, "example.com");
  EXPECT_EQ(rp.name, "Ex");
  EXPECT_EQ(rp.rpIdHash, std::vector<uint8_t>(32, 0x11));
  EXPECT_EQ(rp.totalRps, 2u);

  // No name, no totalRPs: not given. A short hash or an rp that is no map fails.
  ASSERT_EQ(Read(ReadRelyingPartyAnswer, "a103a162696461e9", rp), ANSWER_OK);
  EXPECT_EQ(rp.id, "\xe9");  // kept as sent
  EXPECT_FALSE(rp.name || rp.totalRps || rp.rpIdHash);
  EXPECT_EQ(Read(ReadRelyingPartyAnswer, "a1044111", rp), ANSWER_WRONG_TYPE);
  EXPECT_EQ(Read(ReadRelyingPartyAnswer, "a1036161", rp), ANSWER_WRONG_TYPE);
  EXPECT_FALSE(rp.id);
  EXPECT_EQ(Read(ReadRelyingPartyAnswer, kRp.substr(0, kRp.size() - 2), rp), ANSWER_UNREADABLE);
}

TEST(CredmanAnswers, Credential) {
  CredentialAnswer credential;
  ASSERT_EQ(Read(ReadCredentialAnswer, kCredential, credential), ANSWER_OK);
  EXPECT_EQ(credential.userId, HexBytes("0102"));
  EXPECT_EQ(credential.userName, "alice");
  EXPECT_EQ(credential.displayName, "Alice");
  EXPECT_EQ(credential.credentialId, HexBytes("c1c2"));
  EXPECT_EQ(credential.credentialType, "public-key");
  EXPECT_EQ(credential.publicKey, HexBytes("a2010203"
                                           "26"));
  EXPECT_EQ(credential.totalCredentials, 2u);
  EXPECT_EQ(credential.credProtect, 3u);
  EXPECT_TRUE(credential.hasLargeBlobKey);
  EXPECT_EQ(credential.thirdPartyPayment, true);

  struct Case {
    std::string hex;
    int32_t result;
  } cases[] = {
      {"a106a0", ANSWER_OK},                    // a user with nothing in it
      {"a10b4122", ANSWER_WRONG_TYPE},          // largeBlobKey not 32 bytes
      {"a10cf6", ANSWER_WRONG_TYPE},            // thirdPartyPayment null
      {"a10801", ANSWER_WRONG_TYPE},            // publicKey no map
      {"a106a162696461ff", ANSWER_WRONG_TYPE},  // user id as text
      {"a10a3903e7", ANSWER_WRONG_TYPE},        // credProtect negative
      {"a1091f", ANSWER_UNREADABLE},            // indefinite length
      {"a1095a00010000", ANSWER_UNREADABLE},    // byte string past the answer
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Read(ReadCredentialAnswer, c.hex, credential), c.result) << c.hex;
  }
  EXPECT_FALSE(credential.userName || credential.hasLargeBlobKey);
}

TEST(CredmanAnswers, CountBound) {
  EXPECT_EQ(CredmanCountBound({}), CREDMAN_DEFAULT_COUNT_BOUND);
  EXPECT_EQ(CredmanCountBound({5, 20}), 5u);
  EXPECT_EQ(CredmanCountBound({0xFFFFFFFF, 0}), CREDMAN_COUNT_CEILING);
  EXPECT_EQ(GetNextCallsAllowed(std::nullopt, 50), 0u);
  EXPECT_EQ(GetNextCallsAllowed(0, 50), 0u);
  EXPECT_EQ(GetNextCallsAllowed(3, 50), 2u);
  EXPECT_EQ(GetNextCallsAllowed(0xFFFFFFFF, 5), 4u);
  EXPECT_EQ(GetNextCallsAllowed(7, 0), 0u);
}

TEST(BioAnswers, SensorInfoAndEnrollments) {
  FingerprintSensorInfo info;
  ASSERT_EQ(Read(ReadFingerprintSensorInfo, "a202010304", info), ANSWER_OK);
  EXPECT_EQ(info.fingerprintKind, 1u);
  EXPECT_EQ(info.samplesForEnroll, 4u);
  EXPECT_EQ(Read(ReadFingerprintSensorInfo, "a20201036134", info), ANSWER_WRONG_TYPE);
  EXPECT_FALSE(info.fingerprintKind);

  std::vector<Enrollment> enrollments;
  ASSERT_EQ(Read(ReadEnrollments, "a10782a20141ab02657468756d62a10141cd", enrollments), ANSWER_OK);
  ASSERT_EQ(enrollments.size(), 2u);
  EXPECT_EQ(enrollments[0].templateId, HexBytes("ab"));
  EXPECT_EQ(enrollments[0].friendlyName, "thumb");
  EXPECT_FALSE(enrollments[1].friendlyName);

  struct Case {
    std::string hex;
    int32_t result;
    size_t count;
  } cases[] = {
      {"a0", ANSWER_OK, 0},
      {"a10780", ANSWER_OK, 0},
      {"a107a0", ANSWER_WRONG_TYPE, 0},
      {"a1078201a0", ANSWER_WRONG_TYPE, 0},
      {"a10782a10161ab", ANSWER_UNREADABLE, 0},    // cut off
      {"a1079affffffffa0", ANSWER_UNREADABLE, 0},  // hostile count
      {"a10782a0a10101", ANSWER_WRONG_TYPE, 0},    // templateId no bytes
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Read(ReadEnrollments, c.hex, enrollments), c.result) << c.hex;
    EXPECT_EQ(enrollments.size(), c.count) << c.hex;
  }
}

}  // namespace

// The reading of what a key stores and the rows of the page "Passkeys", end
// to end through the real transport against simulated keys whose
// credential-management answers are canned.
#include "keyinfo/passkeys_page.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "credentials/credman_requests.h"
#include "credentials/stored_reading.h"
#include "simkey/sim_platform.h"
#include "tests/credentials/hex_bytes.h"
#include "transport/key_device.h"

namespace {

// RP "example.com" (name "Ex", rpIDHash 11..11, totalRPs 2) and a credential
// (user alice/Alice id 0102, credential id c1c2, credProtect 3, a large-blob
// key, third-party payment, totalCredentials 2), from python3-fido2's encoder.
const std::string kRp =
    "a303a26269646b6578616d706c652e636f6d646e616d6562457804582011111111111111111111111111111111"
    "111111111111111111111111111111110502";
const std::string kRpAlone =  // the same without totalRPs
    "a203a26269646b6578616d706c652e636f6d646e616d6562457804582011111111111111111111111111111111"
    "11111111111111111111111111111111";
const std::string kCredential =
    "a706a3626964420102646e616d6565616c6963656b646973706c61794e616d6565416c69636507a26269644"
    "2c1c264747970656a7075626c69632d6b657908a20102032609020a030b582022222222222222222222222222"
    "222222222222222222222222222222222222220cf5";
// {6: {"id": h'03', "name": "bob\n"}, 7: {"id": h'c3', "type": "public-key"}}
const std::string kSecondCredential =
    "a206a26269644103646e616d6564626f620a07a262696441c364747970656a7075626c69632d6b6579";

enum Sub : uint8_t { kMetadata = 1, kRpsBegin, kRpsNext, kCredsBegin, kCredsNext };

// A rule for one subcommand; `answers` are status byte then CBOR, in hex.
SimCborRule Rule(uint8_t command, Sub sub, std::vector<std::string> answers) {
  const uint8_t mapHead = sub == kCredsBegin                       ? 0xA4
                          : (sub == kRpsNext || sub == kCredsNext) ? 0xA1
                                                                   : 0xA3;
  SimCborRule rule{{command, mapHead, 0x01, sub}, true, {}};
  for (const std::string& hex : answers) {
    rule.answers.push_back({SimAnswer::Kind::kReply, HexBytes(hex)});
  }
  return rule;
}

struct Store {
  const char* name;
  std::vector<SimCborRule> rules;
  std::string rows;  // "item=value|..."
  bool preview = false;
};

class PasskeysPageTest : public ::testing::Test {
 protected:
  void TearDown() override {
    KeyDevice::Instance().SetPlatform(nullptr);
    KeyDevice::Instance().SetClock(nullptr);
    KeyLayerReady = false;
  }

  // `be`: whether a token for the fingerprints was had.
  std::string Read(const std::vector<SimCborRule>& rules, const StoreFacts& facts, bool be = true) {
    SimKeyPlatform platform;
    SimDeviceConfig config;
    config.cborRules = rules;
    platform.AddDevice(config);
    KeyDevice::Instance().SetPlatform(&platform);
    KeyDevice::Instance().SetClock(&platform.clock());
    KeyLayerReady = true;
    KeyEnumerate();
    KeySelect(0, 0);
    const uint8_t token[32] = {1};
    ReportList list;
    WritePasskeysRows(list,
                      ReadStoredCredentials(facts, {2, token, 32},
                                            be ? ReadingToken{2, token, 32} : ReadingToken()));
    KeyDevice::Instance().SetPlatform(nullptr);
    std::string rows;
    for (size_t row = 0; row < list.RowCount(); ++row) {
      if (row != 0) rows += '|';
      rows.append(list.Cell(row, 0)).append("=").append(list.Cell(row, 1));
    }
    return rows;
  }
};

const std::string kCounts = "Discoverable credentials=0 stored, 10 more fit";
const std::string kAlice =
    "User=alice (Alice)|User id=0102|Credential id=c1c2|Protection=UV required|"
    "Large blob key=yes|Third-party payment=yes";

TEST_F(PasskeysPageTest, StoresGiveTheirRows) {
  const uint8_t cm = CTAP_CREDENTIAL_MANAGEMENT;
  const std::string stopped = "Stopped=The reading stopped at ";
  const Store stores[] = {
      {"no credentials on RPsBegin",
       {Rule(cm, kMetadata, {"00a20100020a"}), Rule(cm, kRpsBegin, {"2e"})},
       kCounts},
      {"missing parameter on RPsBegin",
       {Rule(cm, kMetadata, {"00a20100020a"}), Rule(cm, kRpsBegin, {"14"})},
       kCounts},
      {"empty RPsBegin answer, no remaining count",
       {Rule(cm, kMetadata, {"00a10100"}), Rule(cm, kRpsBegin, {"00"})},
       "Discoverable credentials=0 stored"},
      {"totalRPs missing: one RP; two credentials",
       {Rule(cm, kMetadata, {"00a20102020a"}), Rule(cm, kRpsBegin, {"00" + kRpAlone}),
        Rule(cm, kCredsBegin, {"00" + kCredential}),
        Rule(cm, kCredsNext, {"00" + kSecondCredential})},
       "Discoverable credentials=2 stored, 10 more fit|Relying party=example.com (Ex)|" + kAlice +
           "|User=bob\xEF\xBF\xBD|User id=03|Credential id=c3"},
      {"no count in the metadata: what was listed",
       {Rule(cm, kMetadata, {"00a0"}), Rule(cm, kRpsBegin, {"00" + kRpAlone}),
        Rule(cm, kCredsBegin, {"00" + kCredential})},
       "Discoverable credentials=1 listed; the key gave no count|Relying party=example.com (Ex)|" +
           kAlice + "|" + stopped +
           "the credentials of a relying party: the key answered Continuation command, such as, "
           "authenticatorGetNextAssertion not allowed (status 0x30)."},
      {"preview command",
       {Rule(0x41, kMetadata, {"00a20100020a"}), Rule(0x41, kRpsBegin, {"2e"})},
       kCounts,
       true},
      {"hostile totalRPs stops at the stored count",
       {Rule(cm, kMetadata, {"00a20102020a"}),
        Rule(cm, kRpsBegin,
             {"00a303a1626964616104582011111111111111111111111111111111111111111111"
              "11111111111111111111051bffffffffffffffff"}),
        Rule(cm, kRpsNext, {"00" + kRpAlone}), Rule(cm, kCredsBegin, {"2e"})},
       "Discoverable credentials=2 stored, 10 more fit|Relying party=a|"
       "Relying party=example.com (Ex)|Stopped=The key says it holds more relying parties than "
       "it can; the list stops at its maximum."},
      {"unreadable answer mid-way",
       {Rule(cm, kMetadata, {"00a20102020a"}), Rule(cm, kRpsBegin, {"00" + kRp}),
        Rule(cm, kRpsNext, {"00a20103"}), Rule(cm, kCredsBegin, {"2e"})},
       "Discoverable credentials=2 stored, 10 more fit|Relying party=example.com (Ex)|" + stopped +
           "the relying parties: its answer could not be read."},
      {"failing status on a credential",
       {Rule(cm, kMetadata, {"00a20102020a"}), Rule(cm, kRpsBegin, {"00" + kRpAlone}),
        Rule(cm, kCredsBegin, {"00" + kCredential}), Rule(cm, kCredsNext, {"33"})},
       "Discoverable credentials=2 stored, 10 more fit|Relying party=example.com (Ex)|" + kAlice +
           "|" + stopped +
           "the credentials of a relying party: the key answered PIN authentication,pinAuth, "
           "verification failed (status 0x33)."},
  };
  for (const Store& store : stores) {
    StoreFacts facts;
    facts.fido21 = !store.preview;
    facts.credMgmt = !store.preview;
    facts.credMgmtPreview = store.preview;
    EXPECT_EQ(Read(store.rules, facts), store.rows) << store.name;
  }
}

TEST_F(PasskeysPageTest, FingerprintsAndLargeBlobDigest) {
  StoreFacts facts;
  facts.bioEnroll = true;
  facts.largeBlobs = true;
  facts.maxLargeBlobArray = 1024;
  const std::string array = "81a30141aa0201030a";
  const struct {
    std::string enrollments, blob, rows;
    bool be = true;
  } cases[] = {
      {"00a107a20141a1026548616e6473",  // wrong: not an array
       "00a1015180"
       "76be8b528d0075f7aae98d6fa57a6d3c",
       "Fingerprint sensor=touch, 4 samples needed|Large blob array=17 of 1024 bytes, 0 entries, "
       "digest OK|Stopped=The reading stopped at the fingerprints: its answer could not be read."},
      {"00a10781a20141a1026548616e6473", "00a1015819" + array + "a8c787c9ad9120f9ebba6f7432a4f34c",
       "Fingerprints=1 enrolled|Fingerprint=Hands, a1|Fingerprint sensor=touch, 4 samples "
       "needed|Large blob array=25 of 1024 bytes, 1 entries, digest OK"},
      {"2c", "00a1015819" + array + "a8c787c9ad9120f9ebba6f7432a4f34d",
       "Fingerprints=0 enrolled|Fingerprint sensor=touch, 4 samples needed|Large blob "
       "array=25 of 1024 bytes, 1 entries, digest wrong"},
      {"00a10781a20141a1026548616e6473", "00a1015819" + array + "a8c787c9ad9120f9ebba6f7432a4f34c",
       "Fingerprint sensor=touch, 4 samples needed|Large blob array=25 of 1024 bytes, 1 entries, "
       "digest OK|Stopped=The fingerprints were not listed: the key gave no token for them.",
       false},
  };
  for (const auto& c : cases) {
    const std::vector<SimCborRule> rules = {
        {{0x09, 0xA2, 0x01, 0x01, 0x02, 0x07},
         true,
         {{SimAnswer::Kind::kReply, HexBytes("00a202010304")}}},
        {{0x09, 0xA4, 0x01, 0x01, 0x02, 0x04},
         true,
         {{SimAnswer::Kind::kReply, HexBytes(c.enrollments)}}},
        {{0x0C}, false, {{SimAnswer::Kind::kReply, HexBytes(c.blob)}}},
    };
    EXPECT_EQ(Read(rules, facts, c.be), c.rows) << c.enrollments;
  }
}

}  // namespace

// What a fetch proved, end to end against the simulated key: the fresh
// challenge of every fetch, the model's attestation signature verdict, and a
// recorded answer that replays against a new challenge and so proves nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "attestation/certificate_fetch.h"
#include "attestation/tab_state.h"
#include "attestation_test_util.h"
#include "cbor/cbor_view.h"
#include "keyinfo/device_state.h"
#include "simkey/sim_cbor.h"
#include "simkey/sim_default_key.h"
#include "simkey/sim_platform.h"
#include "simkey/sim_profile.h"
#include "simkey/sim_profile_writer.h"
#include "simkey/sim_record.h"
#include "transport/ctaphid.h"
#include "transport/key_device.h"
#include "transport/key_exchange_log.h"
#include "x509_fixtures.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Sig = AttestationSignature;

// The scalar of TestKey::P256(0x44), the key of the P-256 leaf fixtures.
std::string FixtureKeyHex() {
  Bytes scalar(32);
  for (size_t i = 0; i < scalar.size(); ++i) scalar[i] = static_cast<uint8_t>(0x44 + i);
  scalar[0] &= 0x7F;
  return ToHex(scalar);
}

// 00 | {1: fmt, 2: authData of the simulated key's shape, 3: {alg, sig, x5c}}
std::string AnswerHex(const char* format, int64_t alg) {
  Bytes authData(37, 0x11);
  authData[32] = 0x41;  // UP, AT
  authData.insert(authData.end(), std::begin(SIMKEY_DEFAULT_AAGUID),
                  std::end(SIMKEY_DEFAULT_AAGUID));
  authData.insert(authData.end(), {0x00, 0x00});
  const Bytes signature = {0x30, 0x06, 0x02, 0x01, 0x01, 0x02, 0x01, 0x01};
  SimCborOut out;
  out.Map(3);
  out.Unsigned(1);
  out.Text(format);
  out.Unsigned(2);
  out.Bytes(authData.data(), authData.size());
  out.Unsigned(3);
  out.Map(3);
  out.Text("alg");
  out.Int(alg);
  out.Text("sig");
  out.Bytes(signature.data(), signature.size());
  out.Text("x5c");
  out.Array(1);
  out.Bytes(kP256UnknownCritical.data(), kP256UnknownCritical.size());
  return "00" + ToHex(out.bytes());
}

class FailingSource : public ChallengeSource {
 public:
  bool Fill(uint8_t*, std::string& problem) override {
    problem = "no entropy";
    return false;
  }
};

class FetchProofTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetChallengeSource(nullptr);
    DeleteAllCertificateFiles(model);
    KeyDevice::Instance().SetPlatform(nullptr);
    KeyDevice::Instance().SetClock(nullptr);
  }

  // A platform with this one key in place of the last.
  SimDevice& Plug(const SimDeviceConfig& config) {
    KeyDevice::Instance().SetPlatform(nullptr);
    keys_ = std::make_unique<SimKeyPlatform>();
    SimDevice& device = keys_->AddDevice(config);
    KeyDevice::Instance().SetPlatform(keys_.get());
    KeyDevice::Instance().SetClock(&keys_->clock());
    DeleteAllCertificateFiles(model);
    model = QuillmarkModel();
    GetDeviceState(model, "", "");
    return device;
  }

  void Fetch(bool u2f) {
    if (u2f) {
      OnDblClkU2fList(model, 0, prompt, opener, keys_->clock());
    } else {
      OnDblClkFido2List(model, 0, prompt, opener);
    }
  }

  std::string VerifyResult(bool u2f) const {
    const ReportList& list = u2f ? model.u2fList : model.fido2List;
    for (size_t row = 0; row < list.RowCount(); ++row) {
      if (list.Cell(row, 0) == "Verify Result") return list.Cell(row, 1);
    }
    return "<none>";
  }

  // The challenges the key was sent: makeCredential clientDataHash or the
  // REGISTER challenge parameter.
  static std::vector<Bytes> Challenges(const SimDevice& device) {
    std::vector<Bytes> challenges;
    for (const auto& message : device.receivedMessages) {
      const Bytes& p = message.payload;
      if (message.command == CTAPHID_CBOR && !p.empty() && p[0] == 0x01) {
        const uint8_t* hash = nullptr;
        uint32_t length = 0;
        CborView(p.data() + 1, static_cast<uint32_t>(p.size() - 1))
            .FindIntKey(1)
            .GetBytes(hash, length);
        challenges.emplace_back(hash, hash + length);
      } else if (message.command == CTAPHID_MSG && p.size() == 73 && p[1] == 0x01) {
        challenges.emplace_back(p.begin() + 7, p.begin() + 39);
      }
    }
    return challenges;
  }

  std::unique_ptr<SimKeyPlatform> keys_;
  QuillmarkModel model;
  RecordingPrompt prompt;
  RecordingOpener opener;
};

TEST_F(FetchProofTest, WhatEachAnswerProved) {
  const std::string key = FixtureKeyHex();
  const std::string aaguid = "514d2d53494d4b45592d414147554944";  // QM-SIMKEY-AAGUID
  struct Case {
    const char* name;
    std::string device;  // the profile's device object
    bool u2f;
    Sig signature;
    const char* verify;
    const char* problem;
  };
  const Case cases[] = {
      {"genuine", "{}", false, Sig::kValid, "YES", ""},
      {"wrong signature", R"({"attestation": {"wrongSignature": true}})", false, Sig::kInvalid,
       "NO", ""},
      {"U2F genuine", "{}", true, Sig::kValid, "YES", ""},
      {"U2F wrong signature", R"({"u2f": {"wrongSignature": true}})", true, Sig::kInvalid, "NO",
       ""},
      {"custom chain and key",
       R"({"attestation": {"chain": [")" + ToHex(kP256UnknownCritical) + R"("], "privateKey": ")" +
           key + R"("}})",
       false, Sig::kValid, "YES", ""},
      {"P-256 leaf under an Ed25519 CA",
       R"({"attestation": {"chain": [")" + ToHex(kP256UnderEd25519Root) + R"(", ")" +
           ToHex(kEd25519Root) + R"("], "privateKey": ")" + key + R"("}})",
       false, Sig::kValid, "YES", ""},
      {"another key's certificate sent",
       R"({"attestation": {"chain": [")" + ToHex(kP256UnknownCritical) + R"("]}})", false,
       Sig::kInvalid, "NO", ""},
      {"U2F custom certificate and key",
       R"({"u2f": {"certificate": ")" + ToHex(kP256UnderEd25519Root) + R"(", "privateKey": ")" +
           key + R"("}})",
       true, Sig::kValid, "YES", ""},
      {"Ed25519 attestation key",
       R"({"attestation": {"chain": [")" + ToHex(kEd25519AttestationLeaf) + R"("]}})", false,
       Sig::kUnsupported, "NO", "the certificate's key is not a P-256 key, which is not checked"},
      {"algorithm -8", R"({"cbor": {"01": ")" + AnswerHex("packed", -8) + R"("}})", false,
       Sig::kUnsupported, "NO", "the key signed with algorithm -8, which is not checked"},
      {"format tpm", R"({"cbor": {"01": ")" + AnswerHex("tpm", -7) + R"("}})", false,
       Sig::kUnsupported, "NO",
       "the key answered in attestation format \"tpm\", which is not checked"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<SimDeviceConfig> devices;
    std::string error;
    ASSERT_TRUE(LoadSimProfile(R"({"devices": [)" + c.device + "]}", devices, error)) << error;
    Plug(devices[0]);
    Fetch(c.u2f);
    EXPECT_EQ(model.attestationSignature, c.signature);
    EXPECT_EQ(VerifyResult(c.u2f), c.verify);
    EXPECT_EQ(model.attestationSignatureProblem, c.problem);
    EXPECT_EQ(model.attestationAuthDataAaguid, c.u2f ? "" : aaguid);
    EXPECT_FALSE(model.attestationChain.empty());
  }
}

TEST_F(FetchProofTest, EveryFetchSendsAFreshChallenge) {
  SimDevice& device = Plug(SimDeviceConfig());
  for (bool u2f : {false, false, true, true}) Fetch(u2f);
  // A U2F fetch polls with one challenge until the touch: four fetches, four
  // challenges.
  std::set<std::string> distinct;
  for (const Bytes& challenge : Challenges(device)) {
    EXPECT_EQ(challenge.size(), 32u);
    distinct.insert(ToHex(challenge));
  }
  EXPECT_EQ(distinct.size(), 4u);
  EXPECT_EQ(model.attestationSignature, Sig::kValid);
}

TEST_F(FetchProofTest, NoRandomChallengeNoFetch) {
  FailingSource failing;
  SetChallengeSource(&failing);
  for (bool u2f : {false, true}) {
    SCOPED_TRACE(u2f);
    SimDevice& device = Plug(SimDeviceConfig());
    prompt.messages.clear();
    Fetch(u2f);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text,
              "Cannot fetch certifications: no fresh challenge could be made (no entropy).");
    EXPECT_TRUE(Challenges(device).empty());
    EXPECT_EQ(model.attestationSignature, Sig::kNotChecked);
  }
}

// A counterfeit that recorded a genuine key's answer once: the record of a
// fetch over the old fixed challenge, replayed as a profile, answers every
// makeCredential (or REGISTER) with it; the fresh challenge unmasks it.
TEST_F(FetchProofTest, ReplayedAnswerFailsTheSignatureCheck) {
  for (bool u2f : {false, true}) {
    SCOPED_TRACE(u2f);
    const uint8_t* old = u2f ? U2fChallengeParameter : TestClientDataHash;
    FixedChallengeSource fixed(old);
    SetChallengeSource(&fixed);
    std::string profile;
    {
      KeyExchangeLog log;
      SimDevice& device = Plug(SimDeviceConfig());
      Fetch(u2f);
      log.Stop();
      ASSERT_EQ(model.attestationSignature, Sig::kValid);
      ASSERT_FALSE(Challenges(device).empty());
      EXPECT_EQ(Challenges(device).back(), Bytes(old, old + CHALLENGE_LENGTH));
      profile = SimProfileJson({SimRecordedDevice(log)}, "");
    }
    SetChallengeSource(nullptr);

    std::vector<SimDeviceConfig> devices;
    std::string error;
    ASSERT_TRUE(LoadSimProfile(profile, devices, error)) << error;
    const SimDeviceConfig& recorded = devices.at(0);
    if (u2f) {
      const Bytes head = {0x00, 0x01, 0x03, 0x00, 0x00, 0x00, 0x40};
      EXPECT_EQ(std::count_if(recorded.apdu.begin(), recorded.apdu.end(),
                              [&](const SimApduRule& r) { return r.prefix && r.request == head; }),
                1);
    } else {
      EXPECT_EQ(std::count_if(recorded.cborRules.begin(), recorded.cborRules.end(),
                              [](const SimCborRule& r) { return r.request == Bytes{0x01}; }),
                1);
    }
    Plug(recorded);
    Fetch(u2f);
    EXPECT_FALSE(model.attestationChain.empty()) << "the certificates are shown";
    EXPECT_EQ(VerifyResult(u2f), "NO");
    EXPECT_EQ(model.attestationSignature, Sig::kInvalid);
  }
}

}  // namespace

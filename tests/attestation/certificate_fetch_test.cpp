// Both certificate fetches end to end: the real refresh, PIN protocol,
// transport and certificate display against the simulated key.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "attestation/certificate_fetch.h"
#include "attestation/tab_state.h"
#include "attestation/u2f_registration.h"
#include "cbor/cbor_writer.h"
#include "keyinfo/device_state.h"
#include "simkey/sim_cbor.h"
#include "simkey/sim_platform.h"
#include "test_certificates.h"
#include "transport/ctaphid.h"
#include "transport/key_device.h"
#include "x509_fixtures.h"

namespace {

class ScriptedPrompt : public UserPrompt {
 public:
  void Message(const std::string& text, PromptIcon icon, bool) override {
    messages.push_back((icon == PromptIcon::kError ? "error: " : "warning: ") + text);
  }
  bool Confirm(const std::string& text) override {
    confirmations.push_back(text);
    return confirm;
  }
  bool AskPin(std::string* pin) override {
    ++pinDialogs;
    *pin = pinOk ? pinText : "";
    return pinOk;
  }

  bool confirm = true;
  bool pinOk = true;
  std::string pinText;
  int pinDialogs = 0;
  std::vector<std::string> confirmations;
  std::vector<std::string> messages;
};

class RecordingOpener : public Opener {
 public:
  void OpenFile(const std::string& path) override { files.push_back(path); }
  void OpenUrl(const std::string& url) override { urls.push_back(url); }
  std::vector<std::string> files;
  std::vector<std::string> urls;
};

class CertificateFetchTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetChallengeSource(nullptr);
    DeleteAllCertificateFiles(model);
    KeyDevice::Instance().SetPlatform(nullptr);
    KeyDevice::Instance().SetClock(nullptr);
    KeyLayerReady = false;
  }

  SimDevice& Plug(const SimDeviceConfig& config) { return PlugInto(platform, config); }
  // With a platform of its own, for each case of a table.
  SimDevice& PlugInto(SimKeyPlatform& keys, const SimDeviceConfig& config) {
    SimDevice& device = keys.AddDevice(config);
    KeyDevice::Instance().SetPlatform(&keys);
    KeyDevice::Instance().SetClock(&keys.clock());
    GetDeviceState(model, "", "");
    return device;
  }

  // The makeCredential requests the key received (command byte included).
  static std::vector<std::vector<uint8_t>> MakeCredentials(const SimDevice& device) {
    std::vector<std::vector<uint8_t>> requests;
    for (const auto& message : device.receivedMessages) {
      if (message.command == CTAPHID_CBOR && !message.payload.empty() &&
          message.payload[0] == 0x01) {
        requests.push_back(message.payload);
      }
    }
    return requests;
  }

  static int CountRows(const ReportList& list, const std::string& item) {
    int count = 0;
    for (size_t row = 0; row < list.RowCount(); ++row) count += list.Cell(row, 0) == item;
    return count;
  }
  static std::string ValueOf(const ReportList& list, const std::string& item) {
    for (size_t row = 0; row < list.RowCount(); ++row) {
      if (list.Cell(row, 0) == item) return list.Cell(row, 1);
    }
    return "<none>";
  }
  static int RowOf(const ReportList& list, const std::string& item) {
    for (size_t row = 0; row < list.RowCount(); ++row) {
      if (list.Cell(row, 0) == item) return static_cast<int>(row);
    }
    return -1;
  }

  void DoubleClickFido2Tips() { OnDblClkFido2List(model, 0, prompt, opener); }
  void DoubleClickU2fTips() {
    OnDblClkU2fList(model, 0, prompt, opener, KeyDevice::Instance().clock());
  }

  SimKeyPlatform platform;
  QuillmarkModel model;
  ScriptedPrompt prompt;
  RecordingOpener opener;
};

TEST_F(CertificateFetchTest, RequestsAreByteForByte) {
  uint8_t request[CTAP_REQUEST_BUFFER_SIZE];
  ASSERT_EQ(BuildMakeCredentialRequest(request, TestClientDataHash, nullptr), 171u);
  EXPECT_EQ(request[1], 0xA4);
  const uint8_t pinAuth[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  ASSERT_EQ(BuildMakeCredentialRequest(request, TestClientDataHash, pinAuth), 191u);
  EXPECT_EQ(request[1], 0xA6);
  // ... 08 50 <pinAuth> 09 01 at the end.
  EXPECT_EQ(request[171], 0x08);
  EXPECT_EQ(request[172], 0x50);
  EXPECT_EQ(0, memcmp(request + 173, pinAuth, 16));
  EXPECT_EQ(request[189], 0x09);
  EXPECT_EQ(request[190], 0x01);
  // The user name's head: a 17-character text.
  const std::string bytes(reinterpret_cast<char*>(request), 171);
  EXPECT_NE(bytes.find(std::string("\x64name\x71", 6) + TestUserName), std::string::npos);
}

TEST_F(CertificateFetchTest, KeyWithoutPinShowsTheChainWithOneVerifyResult) {
  SimDeviceConfig config;
  config.attestation.certificates = 4;
  SimDevice& device = Plug(config);
  DoubleClickFido2Tips();
  EXPECT_EQ(prompt.pinDialogs, 0);
  EXPECT_EQ(prompt.messages, std::vector<std::string>{});
  ASSERT_EQ(MakeCredentials(device).size(), 1u);
  EXPECT_EQ(MakeCredentials(device)[0].size(), 171u);
  EXPECT_EQ(model.fido2List.Cell(0, 0), "Tips");
  EXPECT_EQ(CountRows(model.fido2List, "Version"), 3) << "the first three of four";
  EXPECT_EQ(CountRows(model.fido2List, "Verify Result"), 1);
  EXPECT_EQ(ValueOf(model.fido2List, "Verify Result"), "YES");
}

TEST_F(CertificateFetchTest, KeyWithPinAsksForItAndSendsPinAuth) {
  SimDeviceConfig config;
  config.pin = "123456";
  SimDevice& device = Plug(config);
  ASSERT_TRUE(keyHasPin);
  prompt.pinText = "123456";
  DoubleClickFido2Tips();
  EXPECT_EQ(prompt.pinDialogs, 1);
  EXPECT_EQ(prompt.messages, std::vector<std::string>{});
  ASSERT_EQ(MakeCredentials(device).size(), 1u);
  EXPECT_EQ(MakeCredentials(device)[0].size(), 191u);
  EXPECT_EQ(ValueOf(model.fido2List, "Verify Result"), "YES");
}

TEST_F(CertificateFetchTest, PinTokensOfEveryLengthTheKeyMayChoose) {
  // CTAP 2.0 firmware may hand out 16-byte tokens; pinAuth is keyed with the
  // whole token.
  for (uint32_t tokenLength : {16u, 32u, 48u, 64u}) {
    SCOPED_TRACE(tokenLength);
    SimKeyPlatform keys;
    SimDeviceConfig config;
    config.pin = "123456";
    config.pinTokenLength = tokenLength;
    SimDevice& device = PlugInto(keys, config);
    ScriptedPrompt scripted;
    scripted.pinText = "123456";
    OnDblClkFido2List(model, 0, scripted, opener);
    EXPECT_EQ(scripted.messages, std::vector<std::string>{});
    ASSERT_EQ(MakeCredentials(device).size(), 1u);
    EXPECT_EQ(ValueOf(model.fido2List, "Verify Result"), "YES");
    KeyDevice::Instance().SetPlatform(nullptr);
  }
}

TEST_F(CertificateFetchTest, PinProblemsEndTheFetch) {
  struct Case {
    const char* name;
    bool pinOk;
    const char* pin;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"wrong PIN", true, "000000", {"error: PIN Invalid."}},
      {"empty PIN", true, "", {"warning: PIN cannot be empty!"}},
      {"cancelled dialog", false, "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimKeyPlatform keys;
    SimDeviceConfig config;
    config.pin = "123456";
    SimDevice& device = PlugInto(keys, config);
    ScriptedPrompt scripted;
    scripted.pinOk = c.pinOk;
    scripted.pinText = c.pin;
    OnDblClkFido2List(model, 0, scripted, opener);
    EXPECT_EQ(scripted.messages, c.messages);
    EXPECT_TRUE(MakeCredentials(device).empty());
    EXPECT_EQ(model.fido2List.RowCount(), 1u) << "the hint row alone";
    KeyDevice::Instance().SetPlatform(nullptr);
  }
}

TEST_F(CertificateFetchTest, AttestationVariants) {
  struct Case {
    const char* name;
    SimAttestationOptions::X5c x5c;
    bool corrupt;
    bool wrongSignature;
    std::vector<std::string> messages;
    int blocks;
    const char* verify;
  };
  const Case cases[] = {
      {"self attestation",
       SimAttestationOptions::X5c::kNone,
       false,
       false,
       {"warning: No certificate information returned!"},
       0,
       "<none>"},
      {"empty x5c", SimAttestationOptions::X5c::kEmpty, false, false, {}, 0, "<none>"},
      {"corrupt certificate",
       SimAttestationOptions::X5c::kChain,
       true,
       false,
       {"error: Fetch certifications failed2222!"},
       2,
       "<none>"},
      {"wrong signature", SimAttestationOptions::X5c::kChain, false, true, {}, 2, "NO"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimKeyPlatform keys;
    SimDeviceConfig config;
    config.attestation.x5c = c.x5c;
    config.attestation.corruptCertificate = c.corrupt;
    config.attestation.wrongSignature = c.wrongSignature;
    PlugInto(keys, config);
    ScriptedPrompt scripted;
    OnDblClkFido2List(model, 0, scripted, opener);
    EXPECT_EQ(scripted.messages, c.messages);
    EXPECT_EQ(CountRows(model.fido2List, "Base64 encode"), c.corrupt ? c.blocks - 1 : c.blocks);
    EXPECT_EQ(ValueOf(model.fido2List, "Verify Result"), c.verify);
    KeyDevice::Instance().SetPlatform(nullptr);
  }
}

// A key whose makeCredential answer carries certificates that the full
// mbedTLS parse refuses; the leaf fixtures hold the key of TestKey::P256(0x44).
// The answer is signed over a client data hash known in advance.
TEST_F(CertificateFetchTest, CertificatesBeyondTheFullParse) {
  FixedChallengeSource fixed(TestClientDataHash);
  SetChallengeSource(&fixed);
  const std::vector<uint8_t> authData(37, 0x5A);
  std::vector<uint8_t> signedData = authData;
  signedData.insert(signedData.end(), TestClientDataHash, TestClientDataHash + 32);
  TestKey leafKey = TestKey::P256(0x44);
  const std::vector<uint8_t> signature = leafKey.Sign(signedData);
  const struct {
    const char* name;
    std::vector<std::vector<uint8_t>> x5c;
    int blocks;
    const char* verify;
  } cases[] = {
      {"P-256 leaf under an Ed25519 root", {kP256UnderEd25519Root, kEd25519Root}, 2, "YES"},
      {"Ed25519 attestation key", {kEd25519AttestationLeaf}, 1, "NO"},
      {"unknown critical extension", {kP256UnknownCritical}, 1, "YES"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SimCborOut answer;
    answer.Map(3);
    answer.Unsigned(0x01);
    answer.Text("packed");
    answer.Unsigned(0x02);
    answer.Bytes(authData.data(), authData.size());
    answer.Unsigned(0x03);
    answer.Map(3);
    answer.Text("alg");
    answer.Int(-7);
    answer.Text("sig");
    answer.Bytes(signature.data(), signature.size());
    answer.Text("x5c");
    answer.Array(c.x5c.size());
    for (const auto& der : c.x5c) answer.Bytes(der.data(), der.size());
    SimKeyPlatform keys;
    SimDeviceConfig config;
    config.cbor[0x01] = {0x00};
    config.cbor[0x01].insert(config.cbor[0x01].end(), answer.bytes().begin(), answer.bytes().end());
    keys.AddDevice(config);
    KeyDevice::Instance().SetPlatform(&keys);
    KeyDevice::Instance().SetClock(&keys.clock());
    model = QuillmarkModel();
    GetDeviceState(model, "", "");
    ScriptedPrompt scripted;
    OnDblClkFido2List(model, 0, scripted, opener);
    EXPECT_EQ(scripted.messages, std::vector<std::string>{});
    EXPECT_EQ(CountRows(model.fido2List, "Base64 encode"), c.blocks);
    EXPECT_EQ(CountRows(model.fido2List, "Verify Result"), 1);
    EXPECT_EQ(ValueOf(model.fido2List, "Verify Result"), c.verify);
    EXPECT_EQ(ValueOf(model.fido2List, "Extentions(1.3.6.1.4.1.45724.1.1.4)"),
              "04 10 51 4D 2D 53 49 4D 4B 45 59 2D 41 41 47 55 49 44 ");
    DeleteAllCertificateFiles(model);
    KeyDevice::Instance().SetPlatform(nullptr);
  }
}

TEST_F(CertificateFetchTest, CancelledConfirmationChangesNothing) {
  SimDevice& device = Plug(SimDeviceConfig());
  prompt.confirm = false;
  DoubleClickFido2Tips();
  DoubleClickU2fTips();
  EXPECT_EQ(prompt.confirmations.size(), 2u);
  EXPECT_TRUE(MakeCredentials(device).empty());
  EXPECT_EQ(model.fido2List.RowCount(), 1u);
  EXPECT_EQ(model.u2fList.RowCount(), 2u);
}

TEST_F(CertificateFetchTest, OtherRowsDoNothingAndBase64RowsOpenTheCertificate) {
  SimDevice& device = Plug(SimDeviceConfig());
  DoubleClickFido2Tips();
  const size_t messages = device.receivedMessages.size();
  for (int row : {-1, 2, 3, 1000}) OnDblClkFido2List(model, row, prompt, opener);
  EXPECT_EQ(prompt.confirmations.size(), 1u);
  EXPECT_EQ(device.receivedMessages.size(), messages);
  EXPECT_TRUE(opener.files.empty());

  OnDblClkFido2List(model, RowOf(model.fido2List, "Base64 encode"), prompt, opener);
  ASSERT_EQ(opener.files.size(), 1u);
  EXPECT_EQ(opener.files[0], model.fido2CertFile);
  EXPECT_NE(opener.files[0].find("f1d0"), std::string::npos);
}

TEST_F(CertificateFetchTest, SecondFetchDeletesTheFilesOfTheFirst) {
  Plug(SimDeviceConfig());
  DoubleClickFido2Tips();
  const std::string first = model.fido2CertFile;
  ASSERT_FALSE(first.empty());
  ASSERT_EQ(access(first.c_str(), F_OK), 0);
  DoubleClickFido2Tips();
  EXPECT_NE(access(first.c_str(), F_OK), 0);
}

TEST_F(CertificateFetchTest, U2fPollsForTheTouch) {
  struct Case {
    const char* name;
    uint32_t touchDelayMs;
    uint32_t pieces;
    bool rejectExtended;
    std::vector<std::string> messages;
    bool shown;
    uint16_t extendedFormStatus = 0;
    uint32_t registerAnswerMs = SIMKEY_U2F_REGISTER_MS;
  };
  const Case cases[] = {
      {"touched after 3 s", 3000, 1, false, {}, true},
      {"touched after 11 s", 11000, 1, false, {"error: Fetch certifications failed4444!"}, false},
      {"in 61XX pieces", 500, 4, false, {}, true},
      {"short form after 6700", 1000, 1, true, {}, true},
      // The touch comes at 9.8 s, but its answer takes until 10.3 s.
      {"9000 that arrives after 10 s",
       9800,
       1,
       false,
       {"error: Fetch certifications failed4444!"},
       false,
       0,
       500},
      {"short form never touched",
       60000,
       1,
       true,
       {"error: Fetch certifications failed5555!"},
       false},
      {"short form after 6F00", 1000, 1, false, {}, true, 0x6F00},
      {"any other status", 0, 1, false, {}, false, 0x6A80},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimKeyPlatform keys;
    SimDeviceConfig config;
    config.u2f.touchDelayMs = c.touchDelayMs;
    config.u2f.pieces = c.pieces;
    config.u2f.firstPieceEmpty = true;
    config.u2f.rejectExtended = c.rejectExtended;
    config.u2f.extendedFormStatus = c.extendedFormStatus;
    config.u2f.registerAnswerMs = c.registerAnswerMs;
    SimDevice& device = PlugInto(keys, config);
    ScriptedPrompt scripted;
    const uint64_t start = keys.clock().NowMs();
    OnDblClkU2fList(model, 0, scripted, opener, keys.clock());
    EXPECT_EQ(scripted.messages, c.messages);
    EXPECT_EQ(ValueOf(model.u2fList, "Verify Result"), c.shown ? "YES" : "<none>");
    EXPECT_LE(keys.clock().NowMs() - start, 11000u + 200u);
    if (!c.shown) {
      EXPECT_EQ(model.u2fList.RowCount(), 2u) << "the hint rows alone";
    }
    if (c.rejectExtended || c.extendedFormStatus == 0x6F00) {
      size_t shortForms = 0;
      for (const auto& message : device.receivedMessages) {
        shortForms += message.command == CTAPHID_MSG && message.payload.size() == 69;
      }
      EXPECT_GE(shortForms, 1u);
    }
    KeyDevice::Instance().SetPlatform(nullptr);
  }
}

// Registrations that lie about their own parts end the fetch without a
// message and without reading past what the key sent.
TEST_F(CertificateFetchTest, HostileRegistrationsEndTheFetch) {
  const std::vector<uint8_t> userKey(65, 0x04);
  auto registration = [&](uint8_t keyHandleLength, size_t keyHandleBytes,
                          std::vector<uint8_t> certificate, size_t signatureLength) {
    std::vector<uint8_t> bytes = {0x05};
    bytes.insert(bytes.end(), userKey.begin(), userKey.end());
    bytes.push_back(keyHandleLength);
    bytes.insert(bytes.end(), keyHandleBytes, 0x11);
    bytes.insert(bytes.end(), certificate.begin(), certificate.end());
    bytes.insert(bytes.end(), signatureLength, 0x30);
    return bytes;
  };
  auto certificate = [](uint16_t announced, size_t present, uint8_t second = 0x82) {
    std::vector<uint8_t> bytes = {0x30, second, static_cast<uint8_t>(announced >> 8),
                                  static_cast<uint8_t>(announced)};
    bytes.insert(bytes.end(), present, 0x01);
    return bytes;
  };
  const std::vector<uint8_t> sw9000 = {0x90, 0x00};
  auto answer = [&](std::vector<uint8_t> data, const std::vector<uint8_t>& status) {
    data.insert(data.end(), status.begin(), status.end());
    return data;
  };
  struct Case {
    const char* name;
    std::vector<SimApduRule> rules;
  };
  const std::vector<uint8_t> kRegister = {0x00, 0x01, 0x03, 0x00};
  const std::vector<uint8_t> kGetResponse = {0x00, 0xC0, 0x00, 0x00};
  const Case cases[] = {
      {"key handle past the end",
       {{kRegister, true, answer(registration(200, 20, {}, 0), sw9000)}}},
      {"certificate past the end",
       {{kRegister, true, answer(registration(8, 8, certificate(600, 100), 0), sw9000)}}},
      {"certificate head cut off",
       {{kRegister, true, answer(registration(8, 8, {0x30, 0x82}, 0), sw9000)}}},
      {"certificate head other than 30 82",
       {{kRegister, true, answer(registration(8, 8, certificate(100, 100, 0x81), 70), sw9000)}}},
      {"signature over 256 bytes",
       {{kRegister, true, answer(registration(8, 8, certificate(100, 100), 257), sw9000)}}},
      {"answers past 5000 bytes in all",
       {{kRegister, true, {0x61, 0x00}},
        {kGetResponse, true, answer(std::vector<uint8_t>(3000, 0x22), {0x61, 0x00})}}},
      {"too short for the key handle length", {{kRegister, true, answer({0x05, 0x04}, sw9000)}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimKeyPlatform keys;
    SimDeviceConfig config;
    config.apdu = c.rules;
    PlugInto(keys, config);
    ScriptedPrompt scripted;
    OnDblClkU2fList(model, 0, scripted, opener, keys.clock());
    EXPECT_EQ(scripted.messages, std::vector<std::string>{});
    EXPECT_EQ(model.u2fList.RowCount(), 2u) << "the hint rows alone";
    KeyDevice::Instance().SetPlatform(nullptr);
  }
}

TEST_F(CertificateFetchTest, AuthDataLongerThanTheSignedDataBufferEndsTheFetch) {
  for (uint32_t authDataLength : {968u, 969u}) {
    SCOPED_TRACE(authDataLength);
    SimKeyPlatform keys;
    SimDeviceConfig config;
    // 00 | {2: authData, 3: {"sig": 01, "x5c": [h'30']}}
    std::vector<uint8_t> reply = {0x00,
                                  0xA2,
                                  0x02,
                                  0x59,
                                  static_cast<uint8_t>(authDataLength >> 8),
                                  static_cast<uint8_t>(authDataLength)};
    reply.insert(reply.end(), authDataLength, 0x41);
    const std::vector<uint8_t> statement = {0x03, 0xA2, 0x63, 's', 'i',  'g',  0x41, 0x01,
                                            0x63, 'x',  '5',  'c', 0x81, 0x41, 0x30};
    reply.insert(reply.end(), statement.begin(), statement.end());
    config.cbor[0x01] = reply;
    PlugInto(keys, config);
    ScriptedPrompt scripted;
    OnDblClkFido2List(model, 0, scripted, opener);
    // The one certificate is no certificate: shown as the failure, but only
    // when authData fitted.
    const std::vector<std::string> expected =
        authDataLength == 968 ? std::vector<std::string>{"error: Fetch certifications failed2222!"}
                              : std::vector<std::string>{};
    EXPECT_EQ(scripted.messages, expected);
    KeyDevice::Instance().SetPlatform(nullptr);
  }
}

TEST(U2fRegistrationTest, PartsAtTheirBoundaries) {
  // 05 | key (65) | L | handle (L) | 30 82 len | signature
  auto bytes = [](uint8_t keyHandleLength, uint16_t certificateBody, size_t signature) {
    std::vector<uint8_t> b(1 + 65 + 1, 0x04);
    b[0] = 0x05;
    b[66] = keyHandleLength;
    b.insert(b.end(), keyHandleLength, 0x11);
    b.insert(b.end(), {0x30, 0x82, static_cast<uint8_t>(certificateBody >> 8),
                       static_cast<uint8_t>(certificateBody)});
    b.insert(b.end(), certificateBody, 0x01);
    b.insert(b.end(), signature, 0x30);
    return b;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    bool read;
    uint32_t signatureLength;
  } const cases[] = {
      {"empty certificate body, no signature", bytes(0, 0, 0), true, 0},
      {"longest key handle and signature", bytes(255, 1000, 256), true, 256},
      {"signature one byte too long", bytes(10, 100, 257), false, 0},
      {"nothing after the key handle length", std::vector<uint8_t>(67, 0x00), false, 0},
      {"empty", {}, false, 0},
  };
  for (const Case& c : cases) {
    U2fRegistration registration;
    std::vector<uint8_t> exact(c.bytes);
    ASSERT_EQ(ReadU2fRegistration(exact.empty() ? nullptr : exact.data(),
                                  static_cast<uint32_t>(exact.size()), &registration),
              c.read)
        << c.name;
    if (!c.read) continue;
    EXPECT_EQ(registration.signatureLength, c.signatureLength) << c.name;
    EXPECT_EQ(registration.signature + registration.signatureLength, exact.data() + exact.size())
        << c.name;
    EXPECT_EQ(registration.keyHandle, exact.data() + 67) << c.name;
  }
  // A cut registration: every shorter prefix of a good one is refused.
  const std::vector<uint8_t> good = bytes(16, 40, 0);
  for (size_t cut = 0; cut < good.size(); ++cut) {
    std::vector<uint8_t> prefix(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
    U2fRegistration registration;
    EXPECT_FALSE(ReadU2fRegistration(prefix.empty() ? nullptr : prefix.data(),
                                     static_cast<uint32_t>(prefix.size()), &registration))
        << cut;
  }
}

TEST_F(CertificateFetchTest, U2fTransportFailureSaysSo) {
  SimDeviceConfig config;
  config.u2f.touchDelayMs = 600;
  SimDevice& device = Plug(config);
  device.config.misbehave.silent = true;
  DoubleClickU2fTips();
  EXPECT_EQ(prompt.messages, std::vector<std::string>{"error: Fetch certifications failed3333!"});
}

}  // namespace

#include "attestation/certificate_display.h"

#include <gtest/gtest.h>
#include <mbedtls/base64.h>

#include <algorithm>

#include <string>
#include <utility>
#include <vector>

#include "attestation/tab_state.h"
#include "attestation_test_util.h"
#include "test_certificates.h"
#include "x509_fixtures.h"

namespace {

using Rows = std::vector<std::pair<std::string, std::string>>;

const char kAaguidHex[] = "000102030405060708090A0B0C0D0E0F";

std::vector<uint8_t> AaguidValue() {
  std::vector<uint8_t> value = {0x04, 0x10};
  for (uint8_t i = 0; i < 16; ++i) value.push_back(i);
  return value;
}

// "%02X " of each byte, written out digit by digit.
std::string Spaced(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 0xF];
    text += ' ';
  }
  return text;
}

std::string MbedBase64(const std::vector<uint8_t>& bytes) {
  std::vector<unsigned char> text(bytes.size() * 2 + 8);
  size_t length = 0;
  EXPECT_EQ(mbedtls_base64_encode(text.data(), text.size(), &length, bytes.data(), bytes.size()),
            0);
  return std::string(text.begin(), text.begin() + length);
}

class CertificateDisplayTest : public TempDirTest {
 protected:
  CertificateDisplayTest() : leafKey(TestKey::P256(0x11)), rootKey(TestKey::P256(0x22)) {
    recipe.serial = {0x8A, 0x01, 0x02};
    recipe.extensions.push_back({kTransportsOid, {0x03, 0x02, 0x04, 0x30}});
    recipe.extensions.push_back({kAaguidOid, AaguidValue()});
    model.aaguidText = kAaguidHex;
    signedData = FromHex("49960DE5880E8C687434170F6476605B8FE4AEB9A28632C7995CF3BA831D9763");
    signedData.insert(signedData.end(), 32, 0x41);
  }

  // Shows `der` with exact-size heap copies of every buffer; answers the rows
  // of the tab's list.
  Rows Show(const CertificateRowOptions& options, const std::vector<uint8_t>& der,
            const std::vector<uint8_t>& signature, int expectedResult = 0) {
    std::vector<uint8_t> data(signedData), sig(signature), cert(der);
    EXPECT_EQ(ShowCertificate(model, options, data.data(), static_cast<uint32_t>(data.size()),
                              sig.data(), static_cast<uint32_t>(sig.size()), cert.data(),
                              static_cast<uint32_t>(cert.size()), prompt),
              expectedResult);
    const ReportList& list = CertificateList(model, options.tab);
    Rows rows;
    for (size_t row = 0; row < list.RowCount(); ++row) {
      rows.emplace_back(list.Cell(row, 0), list.Cell(row, 1));
    }
    return rows;
  }

  std::string Value(const Rows& rows, const std::string& caption) {
    for (const auto& [item, value] : rows) {
      if (item == caption) return value;
    }
    return "(no row)";
  }

  ScopedTimeZone zone{"JST-9"};
  TestKey leafKey;
  TestKey rootKey;
  CertificateRecipe recipe;
  QuillmarkModel model;
  RecordingPrompt prompt;
  std::vector<uint8_t> signedData;
};

TEST_F(CertificateDisplayTest, Fido2AttestationBlockRowByRow) {
  const std::vector<uint8_t> der = MakeCertificate(recipe, leafKey, rootKey);
  const Rows rows = Show(FIDO2_CERTIFICATE_OPTIONS, der, leafKey.Sign(signedData));
  const Rows expected = {
      {" ", " "},
      {"Version", "V3"},
      {"Serial number", "00 8A 01 02 "},
      {"User", "US, Quillmark Test, Authenticator Attestation, Test Key 1"},
      {"Issuer", "Quillmark Test Root"},
      {"Validity period", "2020-01-02 12:04:05 - 2030-01-02 12:04:05"},
      {"Public key", Spaced(leafKey.PublicPoint())},
      {"Base64 encode", MbedBase64(der)},
      {"Extentions(1.3.6.1.4.1.45724.2.1.1)", "03 02 04 30 ( USB, NFC )"},
      {"Extentions(1.3.6.1.4.1.45724.1.1.4)",
       "04 10 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F "},
      {"Verify Result", "YES"},
  };
  EXPECT_EQ(rows, expected);
  EXPECT_TRUE(prompt.messages.empty());
  EXPECT_EQ(ReadFile(model.fido2CertFile), der);
}

TEST_F(CertificateDisplayTest, U2fBlockHasNoSeparatorAndVerifiesAlways) {
  recipe.subject = "CN=U2F Device 7";
  const Rows rows = Show(U2F_CERTIFICATE_OPTIONS, MakeCertificate(recipe, leafKey, rootKey),
                         leafKey.Sign(signedData));
  ASSERT_FALSE(rows.empty());
  EXPECT_EQ(rows.front().first, "Version");
  EXPECT_EQ(Value(rows, "User"), "U2F Device 7");
  EXPECT_EQ(rows.back(), std::make_pair(std::string("Verify Result"), std::string("YES")));
  EXPECT_FALSE(model.u2fCertFile.empty());
  EXPECT_TRUE(model.fido2CertFile.empty());
}

TEST_F(CertificateDisplayTest, Variants) {
  TestKey rsaKey = TestKey::RsaPublic();
  TestKey p384Key = TestKey::P384(0x33);
  const std::vector<uint8_t> goodSignature = leafKey.Sign(signedData);
  std::vector<uint8_t> otherData = signedData;
  otherData[0] ^= 1;
  const std::vector<uint8_t> wrongSignature = leafKey.Sign(otherData);

  struct Case {
    const char* name;
    CertificateRowOptions options;
    void (*change)(CertificateRecipe&, QuillmarkModel&);
    TestKey* key;
    const std::vector<uint8_t>* signature;
    const char* caption;  // the row looked at
    const char* value;    // its value; "(no row)" when it is left out
    bool aaguidMessage;
  };
  auto none = [](CertificateRecipe&, QuillmarkModel&) {};
  const Case cases[] = {
      {"transports byte 0x00: hex only", FIDO2_CERTIFICATE_OPTIONS,
       [](CertificateRecipe& s, QuillmarkModel&) {
         s.extensions[0].value = {0x03, 0x02, 0x00, 0x00};
       },
       &leafKey, &goodSignature, "Extentions(1.3.6.1.4.1.45724.2.1.1)", "03 02 00 00 ", false},
      {"no extensions: no extension rows", FIDO2_CERTIFICATE_OPTIONS,
       [](CertificateRecipe& s, QuillmarkModel&) { s.extensions.clear(); }, &leafKey,
       &goodSignature, "Extentions(1.3.6.1.4.1.45724.1.1.4)", "(no row)", false},
      {"AAGUID different", FIDO2_CERTIFICATE_OPTIONS,
       [](CertificateRecipe&, QuillmarkModel& m) {
         m.aaguidText = "000102030405060708090A0B0C0D0E00";
       },
       &leafKey, &goodSignature, "Verify Result", "YES", true},
      {"aaguidText empty", FIDO2_CERTIFICATE_OPTIONS,
       [](CertificateRecipe&, QuillmarkModel& m) { m.aaguidText.clear(); }, &leafKey,
       &goodSignature, "Extentions(1.3.6.1.4.1.45724.1.1.4)",
       "04 10 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ", true},
      {"subject without Attestation: no verification on FIDO2", FIDO2_CERTIFICATE_OPTIONS,
       [](CertificateRecipe& s, QuillmarkModel&) { s.subject = "C=US,O=Quillmark Test,CN=Batch"; },
       &leafKey, &goodSignature, "Verify Result", "(no row)", false},
      {"subject without Attestation is verified on U2F", U2F_CERTIFICATE_OPTIONS,
       [](CertificateRecipe& s, QuillmarkModel&) { s.subject = "C=US,O=Quillmark Test,CN=Batch"; },
       &leafKey, &goodSignature, "Verify Result", "YES", false},
      {"wrong signature", FIDO2_CERTIFICATE_OPTIONS, none, &leafKey, &wrongSignature,
       "Verify Result", "NO", false},
      {"RSA key on FIDO2", FIDO2_CERTIFICATE_OPTIONS, none, &rsaKey, &goodSignature,
       "Verify Result", "NO", false},
      {"RSA key on U2F", U2F_CERTIFICATE_OPTIONS, none, &rsaKey, &goodSignature, "Verify Result",
       "NO", false},
      {"P-384 key on FIDO2", FIDO2_CERTIFICATE_OPTIONS, none, &p384Key, &goodSignature,
       "Verify Result", "NO", false},
      {"P-384 key on U2F (first 65 bytes)", U2F_CERTIFICATE_OPTIONS, none, &p384Key, &goodSignature,
       "Verify Result", "NO", false},
      {"not-after in 9999", FIDO2_CERTIFICATE_OPTIONS,
       [](CertificateRecipe& s, QuillmarkModel&) { s.notAfter = "99991231235959"; }, &leafKey,
       &goodSignature, "Validity period", "2020-01-02 12:04:05 - 9999-12-31 23:59:59", false},
      {"the rest of the block follows the 9999 validity", FIDO2_CERTIFICATE_OPTIONS,
       [](CertificateRecipe& s, QuillmarkModel&) { s.notAfter = "99991231235959"; }, &leafKey,
       &goodSignature, "Verify Result", "YES", false},
      {"short serial", FIDO2_CERTIFICATE_OPTIONS,
       [](CertificateRecipe& s, QuillmarkModel&) {
         s.serial = {0x01, 0x02, 0x03};
       },
       &leafKey, &goodSignature, "Serial number", "01 02 03 ", false},
      {"version 1", FIDO2_CERTIFICATE_OPTIONS,
       [](CertificateRecipe& s, QuillmarkModel&) {
         s.version = 1;
         s.extensions.clear();
       },
       &leafKey, &goodSignature, "Version", "V1", false},
      {"issuer without CN: OU", FIDO2_CERTIFICATE_OPTIONS,
       [](CertificateRecipe& s, QuillmarkModel&) { s.issuer = "C=US,O=Org,OU=Unit"; }, &leafKey,
       &goodSignature, "Issuer", "Unit", false},
      {"issuer without CN and OU: O", FIDO2_CERTIFICATE_OPTIONS,
       [](CertificateRecipe& s, QuillmarkModel&) { s.issuer = "C=US,O=Org"; }, &leafKey,
       &goodSignature, "Issuer", "Org", false},
      {"issuer with only an e-mail address", FIDO2_CERTIFICATE_OPTIONS,
       [](CertificateRecipe& s, QuillmarkModel&) { s.issuer = "C=US,emailAddress=ca@example.org"; },
       &leafKey, &goodSignature, "Issuer", "ca@example.org", false},
      {"issuer CN after O", FIDO2_CERTIFICATE_OPTIONS,
       [](CertificateRecipe& s, QuillmarkModel&) { s.issuer = "O=Org,OU=Unit,CN=Root CA"; },
       &leafKey, &goodSignature, "Issuer", "Root CA", false},
      {"issuer with none of them", FIDO2_CERTIFICATE_OPTIONS,
       [](CertificateRecipe& s, QuillmarkModel&) { s.issuer = "C=US"; }, &leafKey, &goodSignature,
       "Issuer", "", false},
  };
  for (const Case& c : cases) {
    CertificateRecipe variant = recipe;
    QuillmarkModel fresh;
    fresh.aaguidText = kAaguidHex;
    model = std::move(fresh);
    prompt.messages.clear();
    c.change(variant, model);
    const Rows rows = Show(c.options, MakeCertificate(variant, *c.key, rootKey), *c.signature);
    EXPECT_EQ(Value(rows, c.caption), c.value) << c.name;
    EXPECT_EQ(Value(rows, "Base64 encode") != "(no row)", true) << c.name;
    if (c.aaguidMessage) {
      ASSERT_EQ(prompt.messages.size(), 1u) << c.name;
      EXPECT_EQ(prompt.messages[0].text,
                "The aagid in the certificate is inconsistent with the hardinfo!");
      EXPECT_EQ(prompt.messages[0].icon, PromptIcon::kError);
      EXPECT_TRUE(prompt.messages[0].owned);
    } else {
      EXPECT_TRUE(prompt.messages.empty()) << c.name;
    }
  }
}

TEST_F(CertificateDisplayTest, PublicKeyRowOfAnRsaKeyIsItsBitString) {
  TestKey rsaKey = TestKey::RsaPublic();
  const Rows rows = Show(U2F_CERTIFICATE_OPTIONS, MakeCertificate(recipe, rsaKey, rootKey), {});
  // RSAPublicKey ::= SEQUENCE { modulus (129 bytes with its zero), exponent 01 00 01 }
  EXPECT_EQ(Value(rows, "Public key").substr(0, 24), "30 81 89 02 81 81 00 C3 ");
  EXPECT_EQ(Value(rows, "Public key").size(), 140u * 3);
}

TEST_F(CertificateDisplayTest, CorruptCertificate) {
  std::vector<uint8_t> der = MakeCertificate(recipe, leafKey, rootKey);
  std::vector<uint8_t> cut(der.begin(), der.begin() + der.size() / 2);
  const struct {
    CertificateRowOptions options;
    std::vector<uint8_t> bytes;
    Rows rows;
  } cases[] = {
      {FIDO2_CERTIFICATE_OPTIONS, cut, {{" ", " "}}},
      {FIDO2_CERTIFICATE_OPTIONS, FromHex("3082FFFF0102"), {{" ", " "}}},
      {U2F_CERTIFICATE_OPTIONS, cut, {}},
      {U2F_CERTIFICATE_OPTIONS, {}, {}},
  };
  for (const auto& c : cases) {
    model = QuillmarkModel();
    prompt.messages.clear();
    EXPECT_EQ(Show(c.options, c.bytes, {}, 1), c.rows);
    ASSERT_EQ(prompt.messages.size(), 1u);
    EXPECT_EQ(prompt.messages[0].text, c.options.failureText);
    EXPECT_EQ(prompt.messages[0].icon, PromptIcon::kError);
    EXPECT_TRUE(prompt.messages[0].owned);
  }
  EXPECT_EQ(std::string(FIDO2_CERTIFICATE_OPTIONS.failureText), "Fetch certifications failed2222!");
  EXPECT_EQ(std::string(U2F_CERTIFICATE_OPTIONS.failureText), "Fetch certifications failed6666!");
  EXPECT_TRUE(Entries().empty());
}

TEST_F(CertificateDisplayTest, ChainOfThreeGivesThreeBlocks) {
  CertificateRecipe intermediate = recipe;
  intermediate.subject = "C=US,O=Quillmark Test,CN=Quillmark Test CA";
  intermediate.extensions.clear();
  CertificateRecipe root = intermediate;
  root.subject = "C=US,O=Quillmark Test,CN=Quillmark Test Root";
  const std::vector<uint8_t> signature = leafKey.Sign(signedData);
  Show(FIDO2_CERTIFICATE_OPTIONS, MakeCertificate(recipe, leafKey, rootKey), signature);
  Show(FIDO2_CERTIFICATE_OPTIONS, MakeCertificate(intermediate, rootKey, rootKey), signature);
  const Rows rows =
      Show(FIDO2_CERTIFICATE_OPTIONS, MakeCertificate(root, rootKey, rootKey), signature);
  size_t blanks = 0, verifies = 0;
  for (const auto& [item, value] : rows) {
    blanks += item == " ";
    verifies += item == "Verify Result";
  }
  EXPECT_EQ(blanks, 3u);
  EXPECT_EQ(verifies, 1u);
  EXPECT_EQ(rows.size(), 11u + 8u + 8u);
  EXPECT_EQ(model.fido2CertFiles.size(), 3u);
  EXPECT_EQ(Entries().size(), 3u);
}

// The first occurrence of `from` in `der` replaced by `to` (same length).
std::vector<uint8_t> Patched(std::vector<uint8_t> der, const std::string& from,
                             const std::string& to) {
  const std::vector<uint8_t> a = FromHex(from), b = FromHex(to);
  const auto at = std::search(der.begin(), der.end(), a.begin(), a.end());
  EXPECT_NE(at, der.end()) << from;
  if (at != der.end()) std::copy(b.begin(), b.end(), at);
  return der;
}

// Certificates the full mbedTLS parse refuses: Ed25519 keys and signatures,
// an unknown critical extension.
TEST_F(CertificateDisplayTest, CertificatesBeyondTheFullParse) {
  TestKey fixtureLeafKey = TestKey::P256(0x44);
  const std::vector<uint8_t> good = fixtureLeafKey.Sign(signedData);
  std::vector<uint8_t> otherData = signedData;
  otherData[0] ^= 1;
  const std::vector<uint8_t> wrong = fixtureLeafKey.Sign(otherData);
  // The P-256 point of the leaf under another key algorithm or another curve.
  const std::vector<uint8_t> notEcKey =
      Patched(kP256UnderEd25519Root, "06072A8648CE3D0201", "06072A8648CE3D0202");
  const std::vector<uint8_t> otherCurve =
      Patched(kP256UnderEd25519Root, "06082A8648CE3D030107", "06082A8648CE3D030106");
  const struct {
    const char* name;
    CertificateRowOptions options;
    const std::vector<uint8_t>& der;
    const std::vector<uint8_t>& signature;
    const char* verify;
  } cases[] = {
      {"Ed25519 leaf, FIDO2", FIDO2_CERTIFICATE_OPTIONS, kEd25519AttestationLeaf, good, "NO"},
      {"Ed25519 leaf, U2F", U2F_CERTIFICATE_OPTIONS, kEd25519AttestationLeaf, good, "NO"},
      {"Ed25519 root: not verified", FIDO2_CERTIFICATE_OPTIONS, kEd25519Root, good, "(no row)"},
      {"P-256 under Ed25519", FIDO2_CERTIFICATE_OPTIONS, kP256UnderEd25519Root, good, "YES"},
      {"P-256 under Ed25519, U2F", U2F_CERTIFICATE_OPTIONS, kP256UnderEd25519Root, good, "YES"},
      {"P-256 under Ed25519, wrong signature", FIDO2_CERTIFICATE_OPTIONS, kP256UnderEd25519Root,
       wrong, "NO"},
      {"unknown critical extension", FIDO2_CERTIFICATE_OPTIONS, kP256UnknownCritical, good, "YES"},
      {"a P-256 point of another key algorithm", U2F_CERTIFICATE_OPTIONS, notEcKey, good, "NO"},
      {"a P-256 point named as another curve", FIDO2_CERTIFICATE_OPTIONS, otherCurve, good, "NO"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    model = QuillmarkModel();
    model.aaguidText = "514D2D53494D4B45592D414147554944";
    prompt.messages.clear();
    const Rows rows = Show(c.options, c.der, c.signature);
    EXPECT_EQ(Value(rows, "Base64 encode"), MbedBase64(c.der));
    EXPECT_EQ(Value(rows, "Version"), "V3");
    EXPECT_EQ(Value(rows, "Verify Result"), c.verify);
    EXPECT_TRUE(prompt.messages.empty());
    EXPECT_EQ(ReadFile(CertificateFileMember(model, c.options.tab)), c.der);
  }

  model = QuillmarkModel();
  model.aaguidText = "514D2D53494D4B45592D414147554944";
  const Rows rows = Show(FIDO2_CERTIFICATE_OPTIONS, kEd25519AttestationLeaf, good);
  const Rows expected = {
      {" ", " "},
      {"Version", "V3"},
      {"Serial number", "5E D2 55 19 "},
      {"User", "US, Quillmark Test, Authenticator Attestation, Ed25519 Attestation"},
      {"Issuer", "Ed25519 Signers"},
      {"Validity period", "2024-01-01 09:00:00 - 2100-01-01 08:59:59"},
      // The Ed25519 key of the seed 10 11 .. 2F (python3-cryptography).
      {"Public key",
       "77 76 E8 70 B9 33 54 F2 A0 B2 4C 23 F2 A3 6C C4 E8 0E 22 32 18 C1 B9 79 26 FD D0 18 39 6A "
       "2B 9B "},
      {"Base64 encode", MbedBase64(kEd25519AttestationLeaf)},
      {"Extentions(1.3.6.1.4.1.45724.2.1.1)", "03 02 04 30 ( USB, NFC )"},
      {"Extentions(1.3.6.1.4.1.45724.1.1.4)",
       "04 10 51 4D 2D 53 49 4D 4B 45 59 2D 41 41 47 55 49 44 "},
      {"Verify Result", "NO"},
  };
  EXPECT_EQ(rows, expected);
}

TEST(TransportNames, NamedBitsInOrder) {
  const struct {
    uint8_t bits;
    const char* names;
  } cases[] = {
      {0x00, ""},
      {0x0F, ""},
      {0x20, "( USB )"},
      {0x30, "( USB, NFC )"},
      {0x2F, "( USB )"},
      {0xF0, "( BluetoothRadio, BluetoothLowEnergyRadio, USB, NFC )"},
      {0x50, "( BluetoothLowEnergyRadio, NFC )"},
  };
  for (const auto& c : cases) EXPECT_EQ(TransportNames(c.bits), c.names) << int(c.bits);
}

}  // namespace

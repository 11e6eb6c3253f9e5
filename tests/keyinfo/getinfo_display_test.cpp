#include "keyinfo/getinfo_display.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cbor/cbor_view.h"
#include "keyinfo/quillmark_model.h"

namespace {

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  int high = -1;
  for (char c : hex) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      continue;
    }
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<uint8_t>(high << 4 | digit));
      high = -1;
    }
  }
  return bytes;
}

// The value texts of the rows, after checking the captions: the first row is
// "authenticatorGetInfo", every later one a single space.
std::vector<std::string> RowValues(const ReportList& list) {
  std::vector<std::string> values;
  for (size_t row = 0; row < list.RowCount(); ++row) {
    EXPECT_EQ(list.Cell(row, 0), row == 0 ? "authenticatorGetInfo" : " ") << "row " << row;
    values.push_back(list.Cell(row, 1));
  }
  return values;
}

// Shows `answer` from a heap copy of exactly its size, so a read past the
// answer is caught by the sanitizers.
std::vector<std::string> Show(QuillmarkModel& model, const std::vector<uint8_t>& answer) {
  std::vector<uint8_t> exact(answer);
  ShowGetInfo(model, CborView(exact.data(), static_cast<uint32_t>(exact.size())));
  return RowValues(model.infoList);
}

const char kFiveRowAnswer[] =
    "A5 01 82 66 55 32 46 5F 56 32 68 46 49 44 4F 5F 32 5F 30 03 50 00 01 02 03 04 05 06 07 08 "
    "09 0A 0B 0C 0D 0E 0F 04 A2 62 72 6B F5 69 63 6C 69 65 6E 74 50 69 6E F4 05 19 04 B0 06 81 "
    "01";

struct GetInfoCase {
  const char* name;
  const char* answerHex;
  std::vector<std::string> rows;
  const char* aaguidText;
  bool keyHasPinBefore;
  bool keyHasPinAfter;
};

const GetInfoCase kCases[] = {
    {"FiveRowExample",
     kFiveRowAnswer,
     {"versions: U2F_V2  FIDO_2_0  ", "aaguid: 000102030405060708090a0b0c0d0e0f",
      "options: rk=true  clientPin=false  ", "maxMsgSize: 1200", "pinUvAuthProtocols: 1  "},
     "000102030405060708090A0B0C0D0E0F",
     true,
     false},
    {"EmptyMap", "A0", {"versions: "}, "", false, false},
    {"NotAMap", "00", {"versions: "}, "", false, false},
    {"EmptyExtensionsAndTwoTransports",
     "A3 01 81 68 46 49 44 4F 5F 32 5F 31 02 80 09 82 63 75 73 62 63 6E 66 63",
     {"versions: FIDO_2_1  ", "transports: usb  nfc  "},
     "",
     false,
     false},
    {"Extensions",
     "A1 02 82 6B 63 72 65 64 50 72 6F 74 65 63 74 6B 68 6D 61 63 2D 73 65 63 72 65 74",
     {"versions: ", "extensions: credProtect  hmac-secret  "},
     "",
     false,
     false},
    {"NonTextEntryKeepsItsSpaces",
     "A1 01 83 68 46 49 44 4F 5F 32 5F 30 05 66 55 32 46 5F 56 32",
     {"versions: FIDO_2_0    U2F_V2  "},
     "",
     false,
     false},
    {"IndefiniteVersionsEndAtBreak",
     "A1 01 9F 66 55 32 46 5F 56 32 68 46 49 44 4F 5F 32 5F 30 FF",
     {"versions: U2F_V2  FIDO_2_0  "},
     "",
     false,
     false},
    {"IndefiniteVersionsWithoutBreak",
     "A1 01 9F 66 55 32 46 5F 56 32",
     {"versions: U2F_V2  "},
     "",
     false,
     false},
    {"TwoAlgorithms",
     "A1 0A 82 A2 63 61 6C 67 26 64 74 79 70 65 6A 70 75 62 6C 69 63 2D 6B 65 79 A2 63 61 6C 67 "
     "27 64 74 79 70 65 6A 70 75 62 6C 69 63 2D 6B 65 79",
     {"versions: ", "algorithms: alg=-7  type=public-key  alg=-8  type=public-key  "},
     "",
     false,
     false},
    {"AlgorithmWithoutAlgPositiveAlgAndNoType",
     "A1 0A 83 A1 64 74 79 70 65 6A 70 75 62 6C 69 63 2D 6B 65 79 A2 63 61 6C 67 07 64 74 79 70 "
     "65 6A 70 75 62 6C 69 63 2D 6B 65 79 A1 63 61 6C 67 39 01 00",
     {"versions: ", "algorithms: type=public-key  type=public-key  alg=-257  type=  "},
     "",
     false,
     false},
    {"CertificationsInTableOrder",
     "A1 13 A3 66 43 43 2D 45 41 4C 05 6B 46 49 50 53 2D 43 4D 56 50 2D 32 61 33 64 46 49 44 4F 02",
     {"versions: ", "certifications: FIDO = 2  ", "certifications: CC-EAL = 5  "},
     "",
     false,
     false},
    {"ForcePinChangeUnsigned21",
     "A1 0C 15",
     {"versions: ", "forcePINChange: true  "},
     "",
     false,
     false},
    {"ForcePinChangeFalse",
     "A1 0C F4",
     {"versions: ", "forcePINChange: false  "},
     "",
     false,
     false},
    {"ForcePinChangeOther", "A1 0C 07", {"versions: "}, "", false, false},
    {"NumbersPrintSigned",
     "A2 05 1A FF FF FF FF 0D 1A FF FF FF FF",
     {"versions: ", "maxMsgSize: -1", "minPINLength: -1  "},
     "",
     false,
     false},
    {"LimitsInKeyOrder",
     "AA 15 03 07 08 08 18 80 0B 19 04 00 0E 1A 00 05 04 00 0F 18 20 10 01 11 01 12 02 14 18 19",
     {"versions: ", "maxCredentialCountInList: 8  ", "maxCredentialIdLength: 128  ",
      "maxSerializedLargeBlobArray: 1024  ", "firmwareVersion: 328704  ", "maxCredBlobLength: 32  ",
      "maxRPIDsForSetMinPINLength: 1  ", "preferredPlatformUvAttempts: 1  ", "uvModality: 2  ",
      "remainingDiscoverableCredentials: 25  ", "vendorPrototypeConfigCommands: 3  "},
     "",
     false,
     false},
    {"VendorPrototypeConfigCommandsArray", "A1 15 82 01 02", {"versions: "}, "", false, false},
    // Text where an array, bytes or a number belongs: the member is missing.
    {"WrongTypesAreMissing",
     "A7 03 69 6E 6F 74 20 62 79 74 65 73 05 64 31 32 30 30 06 81 61 31 07 20 0D 61 34 0A 61 78 "
     "01 68 46 49 44 4F 5F 32 5F 30",
     {"versions: "},
     "",
     false,
     false},
    {"EmptyAaguid", "A1 03 40", {"versions: "}, "", false, false},
    {"OptionsOutsideTheTable",
     "A1 04 A2 62 65 70 F5 63 66 6F 6F F4",
     {"versions: "},
     "",
     true,
     true},
    {"ClientPinTrueInTableOrder",
     "A1 04 A2 69 63 6C 69 65 6E 74 50 69 6E F5 62 75 70 F4",
     {"versions: ", "options: up=false  clientPin=true  "},
     "",
     false,
     true},
    {"ClientPinNullLeavesFlag",
     "A1 04 A1 69 63 6C 69 65 6E 74 50 69 6E F6",
     {"versions: "},
     "",
     true,
     true},
    // Cut inside the aaguid: its 16 bytes are not all there.
    {"TruncatedInsideAaguid",
     "A5 01 82 66 55 32 46 5F 56 32 68 46 49 44 4F 5F 32 5F 30 03 50 00 01 02 03 04",
     {"versions: U2F_V2  FIDO_2_0  "},
     "",
     false,
     false},
    // Cut inside the second version text.
    {"TruncatedInsideVersions",
     "A5 01 82 66 55 32 46 5F 56 32 68 46 49",
     {"versions: U2F_V2    "},
     "",
     false,
     false},
};

class GetInfoDisplayTest : public testing::TestWithParam<GetInfoCase> {};

TEST_P(GetInfoDisplayTest, Rows) {
  const GetInfoCase& c = GetParam();
  QuillmarkModel model;
  model.aaguidText = "stale";
  keyHasPin = c.keyHasPinBefore;
  EXPECT_EQ(Show(model, FromHex(c.answerHex)), c.rows);
  EXPECT_EQ(model.aaguidText, c.aaguidText);
  EXPECT_EQ(keyHasPin, c.keyHasPinAfter);
  keyHasPin = false;
}

INSTANTIATE_TEST_SUITE_P(Answers, GetInfoDisplayTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<GetInfoCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(GetInfoDisplay, StatusByteAloneReadsAsZeros) {
  // The refresh's buffer is zero-filled: an answer of the status byte alone
  // leaves a view over 5000 zero bytes.
  QuillmarkModel model;
  keyHasPin = true;
  EXPECT_EQ(Show(model, std::vector<uint8_t>(5000, 0)), std::vector<std::string>{"versions: "});
  EXPECT_EQ(model.aaguidText, "");
  EXPECT_TRUE(keyHasPin);
  keyHasPin = false;
}

TEST(GetInfoDisplay, EmptyView) {
  QuillmarkModel model;
  ShowGetInfo(model, CborView());
  EXPECT_EQ(RowValues(model.infoList), std::vector<std::string>{"versions: "});
}

TEST(GetInfoDisplay, EveryTruncationOfTheExampleKeepsTheVersionsRow) {
  const std::vector<uint8_t> full = FromHex(kFiveRowAnswer);
  for (size_t length = 1; length < full.size(); ++length) {
    QuillmarkModel model;
    const std::vector<std::string> rows =
        Show(model, std::vector<uint8_t>(full.begin(), full.begin() + length));
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0].rfind("versions: ", 0), 0u) << length;
    EXPECT_LT(rows.size(), 5u) << length;
  }
  keyHasPin = false;
}

TEST(GetInfoDisplay, ForgedArrayCountIsBoundedByTheData) {
  // versions claims 0x7FFFFFFF entries but holds one.
  QuillmarkModel model;
  const std::vector<std::string> rows = Show(model, FromHex("A1 01 9A 7F FF FF FF 63 61 62 63"));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].rfind("versions: abc  ", 0), 0u);
  EXPECT_LE(rows[0].size(), 100u);
}

TEST(GetInfoDisplay, AaguidUpTo512Bytes) {
  for (size_t count : {512u, 513u}) {
    std::vector<uint8_t> answer = {0xA1, 0x03, 0x59, static_cast<uint8_t>(count >> 8),
                                   static_cast<uint8_t>(count & 0xFF)};
    answer.insert(answer.end(), count, 0xAB);
    QuillmarkModel model;
    const std::vector<std::string> rows = Show(model, answer);
    if (count == 512) {
      std::string upper, lower;
      for (size_t i = 0; i < count; ++i) upper += "AB", lower += "ab";
      EXPECT_EQ(rows, (std::vector<std::string>{"versions: ", "aaguid: " + lower}));
      EXPECT_EQ(model.aaguidText, upper);
    } else {
      // Too long for the 1024-character text.
      EXPECT_EQ(rows, std::vector<std::string>{"versions: "});
      EXPECT_EQ(model.aaguidText, "");
    }
  }
}

TEST(GetInfoDisplay, AllEighteenOptionsWrapIntoFiveRows) {
  QuillmarkModel model;
  keyHasPin = false;
  const std::vector<std::string> rows = Show(
      model,
      FromHex("A1 04 B2 62 72 6B F5 62 75 70 F5 62 75 76 F5 64 70 6C 61 74 F5 66 75 76 41 63 66 "
              "67 F5 68 61 6C 77 61 79 73 55 76 F5 68 63 72 65 64 4D 67 6D 74 F5 69 61 75 74 68 "
              "6E 72 43 66 67 F5 69 62 69 6F 45 6E 72 6F 6C 6C F5 69 63 6C 69 65 6E 74 50 69 6E "
              "F5 6A 6C 61 72 67 65 42 6C 6F 62 73 F5 6B 75 76 42 69 6F 45 6E 72 6F 6C 6C F5 6E "
              "70 69 6E 55 76 41 75 74 68 54 6F 6B 65 6E F5 6F 73 65 74 4D 69 6E 50 49 4E 4C 65 "
              "6E 67 74 68 F5 70 6D 61 6B 65 43 72 65 64 55 76 4E 6F 74 52 71 64 F5 75 63 72 65 "
              "64 65 6E 74 69 61 6C 4D 67 6D 74 50 72 65 76 69 65 77 F5 78 1B 75 73 65 72 56 65 "
              "72 69 66 69 63 61 74 69 6F 6E 4D 67 6D 74 50 72 65 76 69 65 77 F5 78 1E 6E 6F 4D "
              "63 47 61 50 65 72 6D 69 73 73 69 6F 6E 73 57 69 74 68 43 6C 69 65 6E 74 50 69 6E "
              "F5"));
  const std::vector<std::string> expected = {
      "versions: ",
      "options: rk=true  up=true  uv=true  plat=true  uvAcfg=true  alwaysUv=true  credMgmt=true ",
      "              authnrCfg=true  bioEnroll=true  clientPin=true  largeBlobs=true  "
      "uvBioEnroll=true ",
      "              pinUvAuthToken=true  setMinPINLength=true  makeCredUvNotRqd=true ",
      "              credentialMgmtPreview=true  userVerificationMgmtPreview=true ",
      "              noMcGaPermissionsWithClientPin=true  ",
  };
  ASSERT_EQ(rows, expected);
  EXPECT_EQ(rows[1].size(), 89u);
  EXPECT_EQ(rows[2].size(), 96u);
  EXPECT_TRUE(keyHasPin);
  keyHasPin = false;
}

struct WrapCase {
  const char* text;
  std::vector<std::string> rows;
};

TEST(WrapOptionsText, Cases) {
  const WrapCase cases[] = {
      {"options: rk=true  ", {"options: rk=true  "}},
      // The limit is reached right after an option, so the wrap falls
      // between its two spaces and the new row starts with 15 spaces.
      {"options: alwaysUv=false  userVerificationMgmtPreview=false  "
       "noMcGaPermissionsWithClientPin=false  ",
       {"options: alwaysUv=false  userVerificationMgmtPreview=false  "
        "noMcGaPermissionsWithClientPin=false",
        "               "}},
      {"options: alwaysUv=false  userVerificationMgmtPreview=false  "
       "noMcGaPermissionsWithClientPin=false  rk=true  ",
       {"options: alwaysUv=false  userVerificationMgmtPreview=false  "
        "noMcGaPermissionsWithClientPin=false",
        "               rk=true  "}},
  };
  for (const WrapCase& c : cases) EXPECT_EQ(WrapOptionsText(c.text), c.rows) << c.text;
  EXPECT_EQ(std::string(OPTIONS_CONTINUATION_INDENT), std::string(13, ' '));
}

}  // namespace

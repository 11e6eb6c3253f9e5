// The hardware-information record: the scan and the value texts of every tag
// without a key, and the request sequence against the simulated key.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "keyinfo/hardware_info.h"
#include "keyinfo/quillmark_model.h"
#include "tests/keyinfo/sim_key_fixture.h"

namespace {

using Row = std::vector<std::string>;  // Tag, Length, Value, Tag Definition, Value Definition

Row Continuation(const std::string& line) { return {" ", "", "", "", line}; }

std::vector<Row> RowsOf(const std::vector<uint8_t>& record) {
  // An exact-size heap copy, so that a read past the reply trips the sanitizer.
  std::vector<uint8_t> exact(record);
  ReportList list;
  AppendHardwareRecordRows(list, exact.data(), static_cast<uint32_t>(exact.size()));
  std::vector<Row> rows;
  for (size_t i = 0; i < list.RowCount(); ++i) {
    Row cells = list.Row(i);
    cells.resize(5);
    rows.push_back(cells);
  }
  return rows;
}

// The record header (two bytes) followed by `entries`.
std::vector<uint8_t> Record(std::vector<uint8_t> entries) {
  entries.insert(entries.begin(), {0x00, 0x00});
  return entries;
}

struct RecordCase {
  const char* name;
  std::vector<uint8_t> entries;
  std::vector<Row> rows;
};

class RecordTest : public ::testing::TestWithParam<RecordCase> {};

TEST_P(RecordTest, GivesRows) {
  const RecordCase& c = GetParam();
  EXPECT_EQ(RowsOf(Record(c.entries)), c.rows);
}

const char kLockedFalse[] =
    "Default is false, don\xE2\x80\x99t allow user to configure using any tool.";
const char kLockedTrue[] =
    "Default is true, don\xE2\x80\x99t allow user to configure using any tool.";
const char kLedOff[] =
    "LED is off during IDLE state, this is default value when user doesn\xE2\x80\x99t set.";
const char kAfterReset[] = "    After reset, it will set to false.";

const RecordCase kRecordCases[] = {
    {"ProductTwoBytes",
     {0x81, 0x02, 0x00, 0x01},
     {{"81", "02", "00 01 ", "Product name", "Brisotte | RA01 "}}},
    {"ProductThreeBytes",
     {0x81, 0x03, 0x02, 0x05, 0x09},
     {{"81", "03", "02 05 09 ", "Product name", "Jorquel | RA06 | SB03 "}}},
    {"ProductOutsideTables",
     {0x81, 0x03, 0x0C, 0x11, 0x0A},
     {{"81", "03", "0C 11 0A ", "Product name", "unknown | unknown | unknown "}}},
    {"ProductLastTableEntries",
     {0x81, 0x03, 0x0B, 0x10, 0x00},
     {{"81", "03", "0B 10 00 ", "Product name", "Arvelle | RA17 | SB12 "}}},
    {"Versions",
     {0x84, 0x02, 0x12, 0x03, 0x92, 0x03, 0x01, 0x02, 0x03},
     {{"84", "02", "12 03 ", "COS version", "1.2.3"},
      {"92", "03", "01 02 03 ", "Build version", "1.2.3"}}},
    {"VersionInHexWithoutLeadingZeros",
     {0x92, 0x03, 0x0A, 0x00, 0x1F},
     {{"92", "03", "0A 00 1F ", "Build version", "A.0.1F"}}},
    {"PinComplexity",
     {0x87, 0x07, 0x00, 0x01, 0x01, 0x00, 0x01, 0x3F, 0x04},
     {{"87", "07", "00 01 01 00 01 3F 04 ", "PIN complexity", "Minimum PIN length: 4"},
      Continuation("Maximum PIN length: 63"),
      Continuation("Minimum 1 Lowercase alphabet: required"),
      Continuation("Minimum 1 Uppercase alphabet: not required"),
      Continuation("Minimum 1 Special character: required"),
      Continuation("Minimum 1 numeric digit: required"),
      Continuation("Week passwords should not be allowed: not required")}},
    {"TransportUsbNfc",
     {0x94, 0x01, 0x21},
     {{"94", "01", "21 ", "Transport Value", "USB \\ NFC "}}},
    {"TransportAllButUsb",
     {0x94, 0x01, 0xE0},
     {{"94", "01", "E0 ", "Transport Value", "Unused \\ NFC \\ BLE \\ Smart card (ISO7816) "}}},
    {"TransportUsbOnlyIgnoresMiddleBits",
     {0x94, 0x01, 0x1F},
     {{"94", "01", "1F ", "Transport Value", "USB "}}},
    {"UnknownBytesPassedOverOneByOne",
     {0x8A, 0x01, 0x81, 0x02, 0x00, 0x01},
     {{"81", "02", "00 01 ", "Product name", "Brisotte | RA01 "}}},
    {"ClientPinHasNoValueText",
     {0x91, 0x02, 0xAA, 0xBB},
     {{"91", "02", "AA BB ", "Client PIN", ""}}},
    {"CustomizationWestorra",
     {0x83, 0x02, 0x05, 0x07},
     {{"83", "02", "05 07 ", "Customization information", "Westorra"}}},
    {"CustomizationUnknownKeepsItsSpace",
     {0x83, 0x02, 0x07, 0x05},
     {{"83", "02", "07 05 ", "Customization information", "unknown "}}},
    {"ProductionDate",
     {0x85, 0x07, 0x20, 0x24, 0x05, 0x17, 0x10, 0x30, 0x00},
     {{"85", "07", "20 24 05 17 10 30 00 ", "Production information", "2024-05-17 10:30:00"}}},
    {"DeviceProtocols",
     {0x86, 0x01, 0xE0, 0x86, 0x01, 0x11},
     {{"86", "01", "E0 ", "Device protocol information", "FIDO+CCID+WBF(0xE0)"},
      {"86", "01", "11 ", "Device protocol information", "unknown"}}},
    {"AlwaysUv",
     {0x88, 0x01, 0x00, 0x88, 0x01, 0x01, 0x88, 0x01, 0x80, 0x88, 0x01, 0x81, 0x88, 0x01, 0x02},
     {{"88", "01", "00 ", "Set alwaysUV",
       "Default is false, allow user to configure using Halvern manager."},
      {"88", "01", "01 ", "Set alwaysUV",
       "Default is true, allow user to configure using Halvern manager."},
      {"88", "01", "80 ", "Set alwaysUV", kLockedFalse},
      {"88", "01", "81 ", "Set alwaysUV", kLockedTrue},
      {"88", "01", "02 ", "Set alwaysUV", "unknown"}}},
    {"EaDefaults",
     {0x89, 0x02, 0x00, 0x00, 0x89, 0x02, 0x01, 0x00, 0x89, 0x02, 0x01, 0x01, 0x89, 0x02, 0x00,
      0x01},
     {{"89", "02", "00 00 ", "Set EA default value",
       "Default is false, allow user to configure using Halvern manager;"},
      Continuation(kAfterReset),
      {"89", "02", "01 00 ", "Set EA default value",
       "Default is true, allow user to configure using Halvern manager;"},
      Continuation(kAfterReset),
      {"89", "02", "01 01 ", "Set EA default value", "Default is true;"},
      Continuation(kAfterReset),
      {"89", "02", "00 01 ", "Set EA default value", "unknown"}}},
    {"ClientPinPermissions",
     {0x90, 0x01, 0x00, 0x90, 0x01, 0x01, 0x90, 0x01, 0x02},
     {{"90", "01", "00 ", "noMcGaPermissionsWithClientPin",
       "Set noMcGaPermissionsWithClientPin is false."},
      {"90", "01", "01 ", "noMcGaPermissionsWithClientPin",
       "Set noMcGaPermissionsWithClientPin is true when tag 90 is set 01."},
      {"90", "01", "02 ", "noMcGaPermissionsWithClientPin", "unknown"}}},
    {"Led",
     {0x93, 0x01, 0x00, 0x93, 0x01, 0x01, 0x93, 0x01, 0x02, 0x93, 0x01, 0x03},
     {{"93", "01", "00 ", "LED status", kLedOff},
      Continuation("    Every 3 second LED turns on to indicate the security key is inserted."),
      {"93", "01", "01 ", "LED status", "LED is on during. IDLE state."},
      {"93", "01", "02 ", "LED status", "LED is breathing during IDLE state."},
      {"93", "01", "03 ", "LED status", "unknown"}}},
    {"SerialEndsAtFirstZero",
     {0x82, 0x05, 'A', 'B', 0x00, 'C', 'D'},
     {{"82", "05", "41 42 00 43 44 ", "Serial number", "AB"}}},
    {"SerialEndsWithItsEntry",
     {0x82, 0x03, 'X', 'Y', 'Z', 0x94, 0x01, 0x01},
     {{"82", "03", "58 59 5A ", "Serial number", "XYZ"},
      {"94", "01", "01 ", "Transport Value", "USB "}}},
    {"EmptySerial", {0x82, 0x00}, {{"82", "00", "", "Serial number", ""}}},

    // Values too short for their tag: nothing is read beyond the entry.
    {"ShortProduct",
     {0x81, 0x01, 0x00, 0x94, 0x01, 0x01},
     {{"81", "01", "00 ", "Product name", "unknown"},
      {"94", "01", "01 ", "Transport Value", "USB "}}},
    {"ShortCustomization",
     {0x83, 0x01, 0x07},
     {{"83", "01", "07 ", "Customization information", "unknown"}}},
    {"ShortVersionWithSmallFirstByte",
     {0x84, 0x02, 0x01, 0x02},
     {{"84", "02", "01 02 ", "COS version", "unknown"}}},
    {"ShortVersionWithNibbleFirstByte",
     {0x92, 0x01, 0x12},
     {{"92", "01", "12 ", "Build version", "unknown"}}},
    {"ShortProduction",
     {0x85, 0x06, 0x20, 0x24, 0x05, 0x17, 0x10, 0x30},
     {{"85", "06", "20 24 05 17 10 30 ", "Production information", "unknown"}}},
    {"ShortPinComplexityHasNoContinuationRows",
     {0x87, 0x06, 0x00, 0x01, 0x01, 0x00, 0x01, 0x3F},
     {{"87", "06", "00 01 01 00 01 3F ", "PIN complexity", "unknown"}}},
    {"ShortEaDefaultHasNoContinuationRow",
     {0x89, 0x01, 0x00},
     {{"89", "01", "00 ", "Set EA default value", "unknown"}}},
    {"EmptyOneByteValues",
     {0x86, 0x00, 0x88, 0x00, 0x90, 0x00, 0x93, 0x00, 0x94, 0x00},
     {{"86", "00", "", "Device protocol information", "unknown"},
      {"88", "00", "", "Set alwaysUV", "unknown"},
      {"90", "00", "", "noMcGaPermissionsWithClientPin", "unknown"},
      {"93", "00", "", "LED status", "unknown"},
      {"94", "00", "", "Transport Value", "unknown"}}},
    {"LongerValueReadsItsFirstBytes",
     {0x86, 0x03, 0x20, 0x30, 0x40},
     {{"86", "03", "20 30 40 ", "Device protocol information", "FIDO(0x20)"}}},

    // Entries that run past the reply end the scan without a row.
    {"EntryPastTheEnd",
     {0x81, 0x02, 0x00, 0x01, 0x82, 0x05, 'A', 'B'},
     {{"81", "02", "00 01 ", "Product name", "Brisotte | RA01 "}}},
    {"TagWithoutLengthByte",
     {0x94, 0x01, 0x01, 0x93},
     {{"94", "01", "01 ", "Transport Value", "USB "}}},
    {"LengthOneBeyondTheEnd", {0x87, 0x07, 0x00, 0x01, 0x01, 0x00, 0x01, 0x3F}, {}},
    {"NoKnownTags", {0x00, 0x8A, 0x95, 0x80, 0xFF}, {}},
};

INSTANTIATE_TEST_SUITE_P(Entries, RecordTest, ::testing::ValuesIn(kRecordCases),
                         [](const ::testing::TestParamInfo<RecordCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(RecordTest, HeaderBytesAreNotEntries) {
  // 81 02 stands where the header is; 00 and 01 after it are no tags.
  EXPECT_TRUE(RowsOf({0x81, 0x02, 0x00, 0x01}).empty());
  EXPECT_TRUE(RowsOf({0x00, 0x00}).empty());
  EXPECT_TRUE(RowsOf({0x94}).empty());
  EXPECT_TRUE(RowsOf({}).empty());
}

TEST(RecordTest, EveryCellOfAnEntryRowIsSet) {
  // Cells 1 to 4 exist even when their texts are empty.
  std::vector<uint8_t> record = Record({0x91, 0x00});
  ReportList list;
  AppendHardwareRecordRows(list, record.data(), static_cast<uint32_t>(record.size()));
  ASSERT_EQ(list.RowCount(), 1u);
  EXPECT_EQ(list.Row(0), (Row{"91", "00", "", "Client PIN", ""}));
}

TEST(RecordTest, RowsAreAppendedAfterExistingOnes) {
  ReportList list;
  list.AppendRow("earlier");
  std::vector<uint8_t> record = Record({0x94, 0x01, 0x01});
  AppendHardwareRecordRows(list, record.data(), static_cast<uint32_t>(record.size()));
  ASSERT_EQ(list.RowCount(), 2u);
  EXPECT_EQ(list.Cell(0, 0), "earlier");
  EXPECT_EQ(list.Cell(1, 0), "94");
}

// The record as the key sends it: data and status word.
std::vector<uint8_t> Reply(std::vector<uint8_t> data, uint16_t statusWord) {
  data.push_back(static_cast<uint8_t>(statusWord >> 8));
  data.push_back(static_cast<uint8_t>(statusWord));
  return data;
}

const std::vector<uint8_t> kRequest(HW_INFO_REQUEST, HW_INFO_REQUEST + 5);
const std::vector<uint8_t> kRequestAlt(HW_INFO_REQUEST_ALT, HW_INFO_REQUEST_ALT + 5);
const std::vector<uint8_t> kUsbRecord = {0x00, 0x00, 0x94, 0x01, 0x01};
const std::vector<uint8_t> kNfcRecord = {0x00, 0x00, 0x94, 0x01, 0x20};

struct ReadCase {
  const char* name;
  std::vector<SimApduRule> rules;  // unlisted requests answer 6D00
  std::vector<std::vector<uint8_t>> sent;
  std::vector<std::string> valueDefinitions;
};

const ReadCase kReadCases[] = {
    {"FirstRequestAnswers",
     {{kRequest, false, Reply(kUsbRecord, 0x9000)},
      {kRequestAlt, false, Reply(kNfcRecord, 0x9000)}},
     {kRequest},
     {"USB "}},
    {"SecondRequestAfterAnError",
     {{kRequestAlt, false, Reply(kNfcRecord, 0x9000)}},
     {kRequest, kRequestAlt},
     {"Unused \\ NFC "}},
    {"NeitherRequestAnswers", {}, {kRequest, kRequestAlt}, {}},
    {"SecondRequestFailsToo",
     {{kRequest, false, Reply(kUsbRecord, 0x6985)},
      {kRequestAlt, false, Reply(kNfcRecord, 0x6A82)}},
     {kRequest, kRequestAlt},
     {}},
    // More than the reply buffer holds counts as a failed request.
    {"FirstReplyTooLong",
     {{kRequest, false, Reply(std::vector<uint8_t>(HW_INFO_CAPACITY + 1, 0x94), 0x9000)},
      {kRequestAlt, false, Reply(kNfcRecord, 0x9000)}},
     {kRequest, kRequestAlt},
     {"Unused \\ NFC "}},
    {"ReplyOfHeaderOnly", {{kRequest, false, Reply({0x94, 0x01}, 0x9000)}}, {kRequest}, {}},
};

class ShowHardwareInfoTest : public SimKeyTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ShowHardwareInfoTest, ReadsTheRecord) {
  const ReadCase& c = GetParam();
  const SimDevice& device = PlugKey(c.rules);
  QuillmarkModel model;
  model.securityKeyInfoEnabled = true;
  ShowHardwareInfo(model);
  EXPECT_EQ(SentApdus(device), c.sent);
  std::vector<std::string> definitions;
  for (size_t row = 0; row < model.securityKeyList.RowCount(); ++row) {
    definitions.push_back(model.securityKeyList.Cell(row, 4));
  }
  EXPECT_EQ(definitions, c.valueDefinitions);
  EXPECT_EQ(model.infoList.RowCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Replies, ShowHardwareInfoTest, ::testing::ValuesIn(kReadCases),
                         [](const ::testing::TestParamInfo<ReadCase>& info) {
                           return std::string(info.param.name);
                         });

using ShowHardwareInfoSwitchTest = SimKeyTest;

TEST_F(ShowHardwareInfoSwitchTest, SwitchOffSendsNothing) {
  const SimDevice& device = PlugKey({{kRequest, false, Reply(kUsbRecord, 0x9000)}});
  QuillmarkModel model;
  ShowHardwareInfo(model);
  EXPECT_TRUE(SentApdus(device).empty());
  EXPECT_EQ(model.securityKeyList.RowCount(), 0u);
}

}  // namespace

// The applet queries against a simulated key, through the real transport.
#include "keyinfo/applet_queries.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/keyinfo/sim_key_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Query = int (*)(char*);

const Bytes kIdentifySelect = {0x00, 0xA4, 0x04, 0x00, 0x09, 0xA0, 0x00,
                               0x00, 0x01, 0x67, 0x41, 0x30, 0x00, 0xFF};
const Bytes kFingerprintRequest = {0x80, 0xE3, 0x00, 0x00, 0x00};
const Bytes kWinHelloSelect = {0x00, 0xA4, 0x04, 0x00, 0x0E, 0xD1, 0x56, 0x00, 0x01, 0x32,
                               0x52, 0x68, 0x65, 0x6C, 0x6C, 0x6F, 0x01, 0x01, 0x00, 0x00};
const Bytes kOtpSelect = {0x00, 0xA4, 0x04, 0x00, 0x09, 0xD1, 0x56, 0x00,
                          0x01, 0x32, 0x83, 0x26, 0x01, 0x01, 0x00};
const Bytes kPivSelect = {0x00, 0xA4, 0x04, 0x00, 0x0B, 0xA0, 0x00, 0x00, 0x03,
                          0x08, 0x00, 0x00, 0x10, 0x00, 0x01, 0x00, 0x00};
const Bytes kGidsSelect = {0x00, 0xA4, 0x04, 0x00, 0x0B, 0xA0, 0x00, 0x00, 0x03,
                           0x97, 0x42, 0x54, 0x46, 0x59, 0x02, 0x01, 0x00};
const Bytes kNdefSelect = {0x00, 0xA4, 0x04, 0x00, 0x07, 0xD2, 0x76,
                           0x00, 0x00, 0x85, 0x01, 0x01, 0x00};
const Bytes kU2fSelect = {0x00, 0xA4, 0x04, 0x00, 0x08, 0xA0, 0x00,
                          0x00, 0x06, 0x47, 0x2F, 0x00, 0x01, 0x00};
const Bytes kVersionRequest = {0x80, 0xE2, 0x80, 0x00, 0x05, 0xDF, 0xFF, 0x02, 0x80, 0x01, 0x00};

constexpr uint16_t kOk = 0x9000;

// `data` followed by the status word.
Bytes Answer(Bytes data, uint16_t statusWord) {
  data.push_back(static_cast<uint8_t>(statusWord >> 8));
  data.push_back(static_cast<uint8_t>(statusWord));
  return data;
}

// 00 01 02 ... of `count` bytes.
Bytes Counting(size_t count) {
  Bytes bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(i);
  return bytes;
}

// A version answer of `count` bytes with 05 03 at bytes 8 and 9.
Bytes VersionData(size_t count) {
  Bytes bytes(count, 0xEE);
  if (count >= 10) {
    bytes[8] = 0x05;
    bytes[9] = 0x03;
  }
  return bytes;
}

std::string Repeated(const std::string& piece, size_t count) {
  std::string text;
  for (size_t i = 0; i < count; ++i) text += piece;
  return text;
}

SimApduRule Rule(const Bytes& request, const Bytes& reply) { return {request, false, reply}; }

struct QueryCase {
  const char* name;
  Query query;
  std::vector<SimApduRule> rules;
  int result;
  std::string text;  // empty: the buffer stays zero-filled
};

std::vector<SimApduRule> SelectThenVersion(const Bytes& select, Bytes selectAnswer,
                                           Bytes versionAnswer) {
  return {Rule(select, selectAnswer), Rule(kVersionRequest, versionAnswer)};
}

const QueryCase kQueryCases[] = {
    {"Identify20Bytes",
     QueryIdentify,
     {Rule(kIdentifySelect, Answer(Counting(20), kOk))},
     QUERY_OK,
     "000102030405060708090A0B0C0D0E0F101112139000"},
    {"Identify30Bytes",
     QueryIdentify,
     {Rule(kIdentifySelect, Answer(Bytes(30, 0xAB), kOk))},
     QUERY_OK,
     Repeated("AB", 30) + "9000"},
    {"Identify15BytesIsShortEvenWithSuccess",
     QueryIdentify,
     {Rule(kIdentifySelect, Answer(Counting(15), kOk))},
     QUERY_BAD_ANSWER,
     ""},
    {"IdentifyStatusChecksAfterLength",
     QueryIdentify,
     {Rule(kIdentifySelect, Answer(Counting(16), 0x6D00))},
     QUERY_FAILED,
     ""},
    {"IdentifyLongerThanItsBuffer",
     QueryIdentify,
     {Rule(kIdentifySelect, Answer(Counting(31), kOk))},
     QUERY_FAILED,
     ""},
    {"IdentifyUnknownToTheKey", QueryIdentify, {}, QUERY_BAD_ANSWER, ""},

    {"Fingerprint7Bytes",
     QueryFingerprintModuleVersion,
     {Rule(kFingerprintRequest, Answer({0, 0, 0, 0, 0, 0x01, 0x2A}, kOk))},
     QUERY_OK,
     "012A"},
    {"Fingerprint8Bytes",
     QueryFingerprintModuleVersion,
     {Rule(kFingerprintRequest, Answer(Counting(8), kOk))},
     QUERY_BAD_ANSWER,
     ""},
    {"FingerprintErrorStatus",
     QueryFingerprintModuleVersion,
     {Rule(kFingerprintRequest, Answer(Counting(7), 0x6985))},
     QUERY_FAILED,
     ""},

    {"WinHello", QueryWinHelloVersion,
     SelectThenVersion(kWinHelloSelect, Answer({}, kOk), Answer(VersionData(16), kOk)), QUERY_OK,
     "0503"},
    {"Otp", QueryOtpVersion,
     SelectThenVersion(kOtpSelect, Answer(Counting(4), kOk), Answer(VersionData(20), kOk)),
     QUERY_OK, "0503"},
    {"Gids", QueryGidsVersion,
     SelectThenVersion(kGidsSelect, Answer(Counting(25), kOk), Answer(VersionData(30), kOk)),
     QUERY_OK, "0503"},
    {"U2fWithLongSelectAnswer", QueryU2fVersion,
     SelectThenVersion(kU2fSelect, Answer(Counting(600), kOk), Answer(VersionData(16), kOk)),
     QUERY_OK, "0503"},
    {"PivLongForm", QueryPivVersion,
     SelectThenVersion(kPivSelect, Answer(Counting(8), kOk), Answer(VersionData(16), kOk)),
     QUERY_OK, "0503"},

    {"WinHelloVersionUnknown", QueryWinHelloVersion,
     SelectThenVersion(kWinHelloSelect, Answer({}, kOk), Answer({}, 0x6D00)), QUERY_BAD_ANSWER, ""},
    {"WinHelloVersionStatusIgnored", QueryWinHelloVersion,
     SelectThenVersion(kWinHelloSelect, Answer({}, kOk), Answer(VersionData(16), 0x6D00)), QUERY_OK,
     "0503"},
    {"WinHelloVersion15Bytes", QueryWinHelloVersion,
     SelectThenVersion(kWinHelloSelect, Answer(VersionData(20), kOk), Answer(VersionData(15), kOk)),
     QUERY_BAD_ANSWER, ""},
    {"WinHelloVersionLongerThanItsBuffer", QueryWinHelloVersion,
     SelectThenVersion(kWinHelloSelect, Answer({}, kOk), Answer(VersionData(31), kOk)),
     QUERY_BAD_ANSWER, ""},
    {"WinHelloMissing", QueryWinHelloVersion,
     SelectThenVersion(kWinHelloSelect, Answer({}, 0x6A82), Answer(VersionData(16), kOk)),
     QUERY_FAILED, ""},
    {"WinHelloSelectLongerThanItsBuffer", QueryWinHelloVersion,
     SelectThenVersion(kWinHelloSelect, Answer(Counting(26), kOk), Answer(VersionData(16), kOk)),
     QUERY_FAILED, ""},
    {"OtpSelectLongerThanItsBuffer", QueryOtpVersion,
     SelectThenVersion(kOtpSelect, Answer(Counting(26), kOk), Answer(VersionData(16), kOk)),
     QUERY_FAILED, ""},
    {"GidsSelectLongerThanItsBuffer", QueryGidsVersion,
     SelectThenVersion(kGidsSelect, Answer(Counting(26), kOk), Answer(VersionData(16), kOk)),
     QUERY_FAILED, ""},
    {"U2fMissing", QueryU2fVersion,
     SelectThenVersion(kU2fSelect, Answer({}, 0x6A82), Answer(VersionData(16), kOk)), QUERY_FAILED,
     ""},

    {"PivShortForm", QueryPivVersion,
     SelectThenVersion(kPivSelect, Answer(Counting(20), kOk), Answer({1, 2, 3, 4}, kOk)), QUERY_OK,
     "0102"},
    {"PivShortFormTwoBytes", QueryPivVersion,
     SelectThenVersion(kPivSelect, Answer(Counting(20), kOk), Answer({0x0A, 0x0B}, kOk)), QUERY_OK,
     "0A0B"},
    {"PivVersionErrorStatus", QueryPivVersion,
     SelectThenVersion(kPivSelect, Answer(Counting(20), kOk), Answer({1, 2, 3, 4}, 0x6985)),
     QUERY_BAD_ANSWER, ""},
    // Fewer than two bytes hold no version; the selection answer is not shown
    // in its place.
    {"PivVersionOneByte", QueryPivVersion,
     SelectThenVersion(kPivSelect, Answer(Counting(20), kOk), Answer({7}, kOk)), QUERY_BAD_ANSWER,
     ""},
    {"PivVersionEmpty", QueryPivVersion,
     SelectThenVersion(kPivSelect, Answer(Counting(20), kOk), Answer({}, kOk)), QUERY_BAD_ANSWER,
     ""},
    {"PivMissing", QueryPivVersion,
     SelectThenVersion(kPivSelect, Answer({}, 0x6A82), Answer({1, 2}, kOk)), QUERY_FAILED, ""},

    {"NdefPresent", QueryNdefPresent, {Rule(kNdefSelect, Answer(Counting(40), kOk))}, QUERY_OK, ""},
    {"NdefMissing", QueryNdefPresent, {Rule(kNdefSelect, Answer({}, 0x6A82))}, QUERY_FAILED, ""},
};

class QueryTest : public SimKeyTest, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(QueryTest, AnswersResultAndText) {
  const QueryCase& c = GetParam();
  PlugKey(c.rules);
  char text[APPLET_TEXT_CAPACITY] = {};
  EXPECT_EQ(c.query(text), c.result);
  EXPECT_EQ(std::string(text), c.text);
}

INSTANTIATE_TEST_SUITE_P(Answers, QueryTest, ::testing::ValuesIn(kQueryCases),
                         [](const ::testing::TestParamInfo<QueryCase>& info) {
                           return std::string(info.param.name);
                         });

const Query kAllQueries[] = {QueryIdentify,        QueryFingerprintModuleVersion,
                             QueryWinHelloVersion, QueryOtpVersion,
                             QueryPivVersion,      QueryGidsVersion,
                             QueryNdefPresent,     QueryU2fVersion};

using QueryRequestsTest = SimKeyTest;

TEST_F(QueryRequestsTest, NullBufferSendsNothing) {
  const SimDevice& device = PlugKey({});
  for (Query query : kAllQueries) EXPECT_EQ(query(nullptr), QUERY_FAILED);
  EXPECT_TRUE(SentApdus(device).empty());
}

TEST_F(QueryRequestsTest, LayerNotReadyFailsEveryQuery) {
  const SimDevice& device = PlugKey({});
  KeyLayerReady = false;
  for (Query query : kAllQueries) {
    char text[APPLET_TEXT_CAPACITY] = {};
    EXPECT_EQ(query(text), QUERY_FAILED);
    EXPECT_STREQ(text, "");
  }
  EXPECT_TRUE(SentApdus(device).empty());
}

TEST_F(QueryRequestsTest, EachQuerySendsItsRequestsInOrder) {
  const Bytes select = Answer({}, kOk);
  const Bytes version = Answer(VersionData(16), kOk);
  const SimDevice& device = PlugKey({
      Rule(kIdentifySelect, Answer(Counting(16), kOk)),
      Rule(kFingerprintRequest, Answer(Counting(7), kOk)),
      Rule(kWinHelloSelect, select),
      Rule(kOtpSelect, select),
      Rule(kPivSelect, select),
      Rule(kGidsSelect, select),
      Rule(kNdefSelect, select),
      Rule(kU2fSelect, select),
      Rule(kVersionRequest, version),
  });
  for (Query query : kAllQueries) {
    char text[APPLET_TEXT_CAPACITY] = {};
    EXPECT_EQ(query(text), QUERY_OK);
  }
  const std::vector<Bytes> expected = {
      kIdentifySelect, kFingerprintRequest, kWinHelloSelect, kVersionRequest, kOtpSelect,
      kVersionRequest, kPivSelect,          kVersionRequest, kGidsSelect,     kVersionRequest,
      kNdefSelect,     kU2fSelect,          kVersionRequest};
  EXPECT_EQ(SentApdus(device), expected);
}

}  // namespace

// Diagnostic notation against the examples of RFC 8949 Appendix A, and what
// malformed, deep and long items give.
#include <gtest/gtest.h>

#include <string>

#include "cbor/cbor_diagnostic.h"
#include "cbor_test_bytes.h"

namespace {

CborDiagnosticResult Diagnose(const std::string& hex, const CborDiagnosticLimits& limits = {}) {
  const HeapBytes bytes(Hex(hex));
  return CborDiagnostic(bytes.data(), bytes.size(), limits);
}

std::string OneToTwentyFive() {
  std::string text;
  for (int i = 1; i <= 25; ++i) text += (i > 1 ? ", " : "") + std::to_string(i);
  return text;
}

struct Example {
  const char* hex;
  std::string notation;
};

// Appendix A, row by row. Text strings are written as UTF-8 rather than with
// the \u escapes the RFC needs for its ASCII text.
const Example kAppendixA[] = {
    {"00", "0"},
    {"01", "1"},
    {"0a", "10"},
    {"17", "23"},
    {"1818", "24"},
    {"1819", "25"},
    {"1864", "100"},
    {"1903e8", "1000"},
    {"1a000f4240", "1000000"},
    {"1b000000e8d4a51000", "1000000000000"},
    {"1bffffffffffffffff", "18446744073709551615"},
    {"c249010000000000000000", "18446744073709551616"},
    {"3bffffffffffffffff", "-18446744073709551616"},
    {"c349010000000000000000", "-18446744073709551617"},
    {"20", "-1"},
    {"29", "-10"},
    {"3863", "-100"},
    {"3903e7", "-1000"},
    {"f90000", "0.0"},
    {"f98000", "-0.0"},
    {"f93c00", "1.0"},
    {"fb3ff199999999999a", "1.1"},
    {"f93e00", "1.5"},
    {"f97bff", "65504.0"},
    {"fa47c35000", "100000.0"},
    {"fa7f7fffff", "3.4028234663852886e+38"},
    {"fb7e37e43c8800759c", "1.0e+300"},
    {"f90001", "5.960464477539063e-8"},
    {"f90400", "0.00006103515625"},
    {"f9c400", "-4.0"},
    {"fbc010666666666666", "-4.1"},
    {"f97c00", "Infinity"},
    {"f97e00", "NaN"},
    {"f9fc00", "-Infinity"},
    {"fa7f800000", "Infinity"},
    {"fa7fc00000", "NaN"},
    {"faff800000", "-Infinity"},
    {"fb7ff0000000000000", "Infinity"},
    {"fb7ff8000000000000", "NaN"},
    {"fbfff0000000000000", "-Infinity"},
    {"f4", "false"},
    {"f5", "true"},
    {"f6", "null"},
    {"f7", "undefined"},
    {"f0", "simple(16)"},
    {"f8ff", "simple(255)"},
    {"c074323031332d30332d32315432303a30343a30305a", "0(\"2013-03-21T20:04:00Z\")"},
    {"c11a514b67b0", "1(1363896240)"},
    {"c1fb41d452d9ec200000", "1(1363896240.5)"},
    {"d74401020304", "23(h'01020304')"},
    {"d818456449455446", "24(h'6449455446')"},
    {"d82076687474703a2f2f7777772e6578616d706c652e636f6d", "32(\"http://www.example.com\")"},
    {"40", "h''"},
    {"4401020304", "h'01020304'"},
    {"60", "\"\""},
    {"6161", "\"a\""},
    {"6449455446", "\"IETF\""},
    {"62225c", "\"\\\"\\\\\""},
    {"62c3bc", "\"\u00fc\""},
    {"63e6b0b4", "\"\u6c34\""},
    {"64f0908591", "\"\U00010151\""},
    {"80", "[]"},
    {"83010203", "[1, 2, 3]"},
    {"8301820203820405", "[1, [2, 3], [4, 5]]"},
    {"98190102030405060708090a0b0c0d0e0f101112131415161718181819", "[" + OneToTwentyFive() + "]"},
    {"a0", "{}"},
    {"a201020304", "{1: 2, 3: 4}"},
    {"a26161016162820203", "{\"a\": 1, \"b\": [2, 3]}"},
    {"826161a161626163", "[\"a\", {\"b\": \"c\"}]"},
    {"a56161614161626142616361436164614461656145",
     "{\"a\": \"A\", \"b\": \"B\", \"c\": \"C\", \"d\": \"D\", \"e\": \"E\"}"},
    {"5f42010243030405ff", "(_ h'0102', h'030405')"},
    {"7f657374726561646d696e67ff", "(_ \"strea\", \"ming\")"},
    {"9fff", "[_ ]"},
    {"9f018202039f0405ffff", "[_ 1, [2, 3], [_ 4, 5]]"},
    {"9f01820203820405ff", "[_ 1, [2, 3], [4, 5]]"},
    {"83018202039f0405ff", "[1, [2, 3], [_ 4, 5]]"},
    {"83019f0203ff820405", "[1, [_ 2, 3], [4, 5]]"},
    {"9f0102030405060708090a0b0c0d0e0f101112131415161718181819ff", "[_ " + OneToTwentyFive() + "]"},
    {"bf61610161629f0203ffff", "{_ \"a\": 1, \"b\": [_ 2, 3]}"},
    {"826161bf61626163ff", "[\"a\", {_ \"b\": \"c\"}]"},
    {"bf6346756ef563416d7421ff", "{_ \"Fun\": true, \"Amt\": -2}"},
};

TEST(CborDiagnosticTest, AppendixAExamples) {
  for (const Example& example : kAppendixA) {
    const CborDiagnosticResult result = Diagnose(example.hex);
    EXPECT_EQ(result.status, CborDecodeStatus::kOk) << example.hex;
    EXPECT_EQ(result.text, example.notation) << example.hex;
    EXPECT_EQ(result.length, Hex(example.hex).size()) << example.hex;
    EXPECT_FALSE(result.truncated) << example.hex;
  }
}

TEST(CborDiagnosticTest, FormsBeyondTheExamples) {
  const Example kCases[] = {
      {"5fff", "''_"},
      {"7fff", "\"\"_"},
      {"bfff", "{_ }"},
      {"63017f0a", "\"\\u0001\\u007f\\n\""},    // control bytes escaped
      {"6301ff7f", "h'01ff7f' / not UTF-8 /"},  // a stray 0xFF: the bytes, kept
      {"62c328", "h'c328' / not UTF-8 /"},      // a broken two-byte form
      {"62c0af", "h'c0af' / not UTF-8 /"},      // an overlong form is not text
      {"63eda080", "h'eda080' / not UTF-8 /"},  // nor is a surrogate
      {"7f6161ff", "(_ \"a\")"},                // chunks stay text
      {"c2420100", "256"},                      // bignum
      {"c340", "-1"},                           // negative bignum of zero bytes
      {"c6c7f6", "6(7(null))"},                 // nested tags
      {"d9d9f7a0", "55799({})"},                // self-described CBOR
      {"fa3f800001", "1.0000001192092896"},     // single, shortest round trip
      {"fb3e7ad7f29abcaf48", "1.0e-7"},         // switches to the exponent below 1e-6
      {"fb3eb0c6f7a0b5ed8d", "0.000001"},
      {"fb4415af1d78b58c40", "100000000000000000000.0"},
      {"fb444b1ae4d6e2ef50", "1.0e+21"},
      {"f8ff", "simple(255)"},
      {"f820", "simple(32)"},
      {"a1a1010203", "{{1: 2}: 3}"},
  };
  for (const Example& example : kCases) {
    const CborDiagnosticResult result = Diagnose(example.hex);
    EXPECT_EQ(result.status, CborDecodeStatus::kOk) << example.hex;
    EXPECT_EQ(result.text, example.notation) << example.hex;
  }
}

TEST(CborDiagnosticTest, BadItemsAreRefused) {
  const struct {
    const char* hex;
    CborDecodeStatus status;
  } kCases[] = {
      {"", CborDecodeStatus::kCutOff},
      {"18", CborDecodeStatus::kCutOff},
      {"1bffffffff", CborDecodeStatus::kCutOff},
      {"44010203", CborDecodeStatus::kCutOff},
      {"5b ffffffffffffffff 00", CborDecodeStatus::kCutOff},  // a length no data has
      {"9b ffffffffffffffff 00", CborDecodeStatus::kCutOff},
      {"bb 8000000000000000 00", CborDecodeStatus::kCutOff},  // twice the count wraps
      {"a20102", CborDecodeStatus::kCutOff},
      {"9f01", CborDecodeStatus::kCutOff},
      {"5f4101", CborDecodeStatus::kCutOff},
      {"1c", CborDecodeStatus::kMalformed},  // reserved additional information
      {"fd", CborDecodeStatus::kMalformed},
      {"ff", CborDecodeStatus::kMalformed},            // break outside an indefinite item
      {"1f", CborDecodeStatus::kMalformed},            // indefinite integer
      {"df00", CborDecodeStatus::kMalformed},          // indefinite tag
      {"f818", CborDecodeStatus::kMalformed},          // two-byte form of a one-byte simple value
      {"5f6161ff", CborDecodeStatus::kMalformed},      // text chunk in a byte string
      {"5f5f4101ffff", CborDecodeStatus::kMalformed},  // nested indefinite chunk
      {"bf01ff", CborDecodeStatus::kMalformed},        // key without value
      {"8201ff", CborDecodeStatus::kMalformed},        // break inside a definite array
  };
  for (const auto& example : kCases) {
    const CborDiagnosticResult result = Diagnose(example.hex);
    EXPECT_EQ(result.status, example.status) << example.hex;
    EXPECT_TRUE(result.text.empty()) << example.hex;
  }
}

TEST(CborDiagnosticTest, NestingIsBounded) {
  std::string deep;
  for (int i = 0; i < 10000; ++i) deep += "81";
  deep += "00";
  EXPECT_EQ(Diagnose(deep).status, CborDecodeStatus::kTooDeep);
  std::string tags;
  for (int i = 0; i < 10000; ++i) tags += "c1";
  EXPECT_EQ(Diagnose(tags + "00").status, CborDecodeStatus::kTooDeep);

  CborDiagnosticLimits limits;
  limits.maxDepth = 2;
  EXPECT_EQ(Diagnose("818100", limits).text, "[[0]]");
  EXPECT_EQ(Diagnose("81818100", limits).status, CborDecodeStatus::kTooDeep);
}

TEST(CborDiagnosticTest, LongNotationIsCutOnACharacterBoundary) {
  CborDiagnosticLimits limits;
  limits.maxLength = 10;
  CborDiagnosticResult result = Diagnose("83 1a000f4240 1a000f4240 1a000f4240", limits);
  EXPECT_EQ(result.status, CborDecodeStatus::kOk);
  EXPECT_TRUE(result.truncated);
  EXPECT_EQ(result.text, "[1000000, ...");
  EXPECT_EQ(result.length, 16u);

  // "ü" is two bytes: the cut falls before it rather than inside it.
  limits.maxLength = 2;
  result = Diagnose("62c3bc", limits);
  EXPECT_EQ(result.text, "\"...");

  // A byte string of 4000 bytes: the notation stays at the limit.
  std::string big = "59 0fa0" + std::string(8000, 'a');
  limits.maxLength = 100;
  result = Diagnose(big, limits);
  EXPECT_EQ(result.text.size(), 103u);
}

TEST(CborDiagnosticTest, SequencesAreWrittenItemByItem) {
  const HeapBytes bytes(Hex("01 6161 a0"));
  CborDiagnosticResult result = CborSequenceDiagnostic(bytes.data(), bytes.size());
  EXPECT_EQ(result.status, CborDecodeStatus::kOk);
  EXPECT_EQ(result.text, "1, \"a\", {}");
  EXPECT_EQ(result.length, 4u);

  const HeapBytes cut(Hex("01 62 61"));
  EXPECT_EQ(CborSequenceDiagnostic(cut.data(), cut.size()).status, CborDecodeStatus::kCutOff);
  EXPECT_EQ(CborSequenceDiagnostic(nullptr, 0).text, "");
}

}  // namespace

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simkey/sim_clock.h"
#include "simkey/sim_hex.h"
#include "transport/apdu_link.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& hex) {
  std::vector<uint8_t> out;
  EXPECT_TRUE(SimParseHex(hex, out)) << hex;
  return out;
}

TEST(ApduFraming, EncodesAndParsesEachCase) {
  const std::vector<uint8_t> aid(FIDO_AID, FIDO_AID + 8);
  const std::vector<uint8_t> one = {0x04};
  struct Case {
    ApduCommand command;
    ApduForm form;
    const char* wire;  // nullptr: the form cannot carry it
  } cases[] = {
      {{0x00, 0xA4, 0x04, 0x00, aid.data(), 8, 256},
       ApduForm::kShort,
       "00A4040008A0000006472F000100"},
      {{0x00, 0x03, 0x00, 0x00, nullptr, 0, 0}, ApduForm::kShort, "00030000"},
      {{0x00, 0xC0, 0x00, 0x00, nullptr, 0, 17}, ApduForm::kShort, "00C0000011"},
      {{0x80, 0x10, 0x80, 0x00, one.data(), 1, 0}, ApduForm::kShort, "801080000104"},
      {{0x80, 0x10, 0x80, 0x00, one.data(), 1, 65536}, ApduForm::kExtended, "80108000000001040000"},
      {{0x80, 0x11, 0x00, 0x00, nullptr, 0, 65536}, ApduForm::kExtended, "80110000000000"},
      {{0x80, 0x10, 0x00, 0x00, one.data(), 1, 0}, ApduForm::kExtended, "8010000000000104"},
      {{0x00, 0xC0, 0x00, 0x00, nullptr, 0, 257}, ApduForm::kShort, nullptr},
      {{0x80, 0x10, 0x00, 0x00, one.data(), 256, 0}, ApduForm::kShort, nullptr},
      {{0x80, 0x10, 0x00, 0x00, one.data(), 65536, 0}, ApduForm::kExtended, nullptr},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> wire;
    ASSERT_EQ(ApduEncode(c.command, c.form, wire), c.wire != nullptr) << c.wire;
    if (c.wire == nullptr) {
      EXPECT_TRUE(wire.empty());
      continue;
    }
    EXPECT_EQ(SimHexText(wire), c.wire);
    ApduCommand parsed;
    ASSERT_TRUE(ApduParseCommand(wire.data(), wire.size(), parsed)) << c.wire;
    EXPECT_EQ(parsed.ins, c.command.ins);
    EXPECT_EQ(parsed.le, c.command.le) << c.wire;
    EXPECT_EQ(std::vector<uint8_t>(parsed.data, parsed.data + parsed.length),
              std::vector<uint8_t>(c.command.data, c.command.data + c.command.length));
  }
  // Lengths that match no case.
  for (const char* bad :
       {"00A404", "00A4040002AA", "000100000000", "0001000000000211", "00010000000000AA"}) {
    const std::vector<uint8_t> wire = Bytes(bad);
    ApduCommand parsed;
    EXPECT_FALSE(ApduParseCommand(wire.data(), wire.size(), parsed)) << bad;
  }
}

TEST(ApduFraming, ChainsLongCommandsInBlocksOf255) {
  std::vector<uint8_t> data(600, 0x5A);
  std::vector<std::vector<uint8_t>> blocks;
  ASSERT_TRUE(ApduChain({0x80, 0x10, 0x80, 0x00, data.data(), data.size(), 256}, blocks));
  ASSERT_EQ(blocks.size(), 3u);
  const size_t sizes[] = {5 + 255, 5 + 255, 5 + 90 + 1};
  const uint8_t classes[] = {0x90, 0x90, 0x80};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(blocks[i].size(), sizes[i]);
    EXPECT_EQ(blocks[i][0], classes[i]);
  }
  EXPECT_EQ(blocks[2].back(), 0x00);  // Le 256 on the last block only
}

// A card that gives its scripted answers in turn (the last repeats);
// "FAIL" is a failed exchange.
struct ScriptedCard {
  std::vector<std::string> answers;
  std::vector<std::string> sent;

  int operator()(const std::vector<uint8_t>& command, std::vector<uint8_t>& response) {
    const std::string& next = answers[std::min(sent.size(), answers.size() - 1)];
    sent.push_back(SimHexText(command));
    if (next == "FAIL") return -1;
    response = Bytes(next);
    return 0;
  }
};

struct LinkCase {
  const char* name;
  ApduForm form;
  uint8_t command;  // CTAPHID_CBOR or CTAPHID_MSG
  std::string request;
  std::vector<std::string> answers;
  int result;
  std::string reply = "";
  std::vector<std::string> sent = {};  // checked when not empty
  size_t maxAnswer = CTAPHID_MAX_MESSAGE;
};

class ApduLinkTest : public ::testing::TestWithParam<LinkCase> {};

TEST_P(ApduLinkTest, Exchanges) {
  const LinkCase& c = GetParam();
  ScriptedCard card{c.answers, {}};
  SimClock clock;
  ApduLinkOptions options;
  options.form = c.form;
  options.maxAnswer = c.maxAnswer;
  options.maxGetResponseRounds = 3;
  ApduLink link([&](const auto& command, auto& response) { return card(command, response); }, clock,
                options);
  std::vector<uint8_t> keepAlives;
  link.SetKeepAliveHook([&](uint8_t status) { keepAlives.push_back(status); });
  const std::vector<uint8_t> request = Bytes(c.request);
  std::vector<uint8_t> reply;
  EXPECT_EQ(link.Exchange(c.command, request.data(), request.size(), reply), c.result);
  if (c.result == APDU_OK) {
    EXPECT_EQ(SimHexText(reply), c.reply);
  }
  if (!c.sent.empty()) {
    EXPECT_EQ(card.sent, c.sent);
  }
  if (c.result == APDU_KEEPALIVE_EXPIRED) {
    EXPECT_GE(clock.NowMs(), KEY_KEEPALIVE_LIMIT_MS);
    EXPECT_LE(clock.NowMs(), KEY_KEEPALIVE_LIMIT_MS + 200);
  } else {
    EXPECT_EQ(clock.NowMs(), 100 * keepAlives.size());
  }
}

const std::string kLong(600, 'A');  // 300 bytes

INSTANTIATE_TEST_SUITE_P(
    Cases, ApduLinkTest,
    ::testing::Values(
        LinkCase{"ShortCtap",
                 ApduForm::kShort,
                 CTAPHID_CBOR,
                 "04",
                 {"00A09000"},
                 APDU_OK,
                 "00A0",
                 {"80108000010400"}},
        LinkCase{"ExtendedCtap",
                 ApduForm::kExtended,
                 CTAPHID_CBOR,
                 "04",
                 {"00A09000"},
                 APDU_OK,
                 "00A0",
                 {"80108000000001040000"}},
        LinkCase{"ResponseChain",
                 ApduForm::kShort,
                 CTAPHID_CBOR,
                 "04",
                 {"00AA6102", "BBCC6100", "DD9000"},
                 APDU_OK,
                 "00AABBCCDD",
                 {"80108000010400", "00C0000002", "00C0000000"}},
        LinkCase{"KeepAlives",
                 ApduForm::kShort,
                 CTAPHID_CBOR,
                 "04",
                 {"019100", "029100", "9100", "00A19000"},
                 APDU_OK,
                 "00A1",
                 {"80108000010400", "8011000000", "8011000000", "8011000000"}},
        LinkCase{"CommandChain",
                 ApduForm::kShort,
                 CTAPHID_CBOR,
                 kLong,
                 {"9000", "009000"},
                 APDU_OK,
                 "00"},
        LinkCase{"ChainBlockRefused",
                 ApduForm::kShort,
                 CTAPHID_CBOR,
                 kLong,
                 {"6A80", "009000"},
                 APDU_REFUSED},
        LinkCase{"NotCtap", ApduForm::kShort, CTAPHID_CBOR, "04", {"6D00"}, APDU_REFUSED},
        LinkCase{
            "OkWithoutStatusByte", ApduForm::kShort, CTAPHID_CBOR, "04", {"9000"}, APDU_TRUNCATED},
        LinkCase{
            "TruncatedStatusWord", ApduForm::kShort, CTAPHID_CBOR, "04", {"90"}, APDU_TRUNCATED},
        LinkCase{"TruncatedInChain",
                 ApduForm::kShort,
                 CTAPHID_CBOR,
                 "04",
                 {"006101", ""},
                 APDU_TRUNCATED},
        LinkCase{"PastTheBound",
                 ApduForm::kShort,
                 CTAPHID_CBOR,
                 "04",
                 {"00AABB6102", "CCDD9000"},
                 APDU_TOO_LONG,
                 "",
                 {},
                 4},
        LinkCase{"TooManyRounds",
                 ApduForm::kShort,
                 CTAPHID_CBOR,
                 "04",
                 {"006101", "006101"},
                 APDU_TOO_MANY_ROUNDS},
        LinkCase{"KeepAliveForever",
                 ApduForm::kShort,
                 CTAPHID_CBOR,
                 "04",
                 {"029100"},
                 APDU_KEEPALIVE_EXPIRED},
        LinkCase{"LinkFails",
                 ApduForm::kShort,
                 CTAPHID_CBOR,
                 "04",
                 {"019100", "FAIL"},
                 APDU_LINK_FAILED},
        // U2F: an extended APDU from the CTAPHID side, re-framed short.
        LinkCase{"U2fVersionShort",
                 ApduForm::kShort,
                 CTAPHID_MSG,
                 "00030000000000",
                 {"5532465F56329000"},
                 APDU_OK,
                 "5532465F56329000",
                 {"0003000000"}},
        LinkCase{"U2fStatusKept",
                 ApduForm::kExtended,
                 CTAPHID_MSG,
                 "00010000",
                 {"6985"},
                 APDU_OK,
                 "6985",
                 {"00010000"}},
        LinkCase{"NotAnApdu", ApduForm::kShort, CTAPHID_MSG, "0001", {"9000"}, APDU_BAD_REQUEST},
        LinkCase{"NoCardForm", ApduForm::kShort, CTAPHID_INIT, "04", {"9000"}, APDU_BAD_REQUEST}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

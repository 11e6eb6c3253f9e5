// The exchange observer, as the record of a key sees it: every exchange that
// reached the key, with how it ended.
#include <gtest/gtest.h>

#include <vector>

#include "tests/transport/sim_transport_fixture.h"
#include "transport/ctaphid.h"
#include "transport/key_exchange_log.h"

namespace {

using Outcome = KeyLoggedExchange::Outcome;

const std::vector<uint8_t> kGetInfo = {0x04};
// SELECT of the U2F applet, which the default key answers "U2F_V2" 9000.
const std::vector<uint8_t> kSelectU2f = {0x00, 0xA4, 0x04, 0x00, 0x08, 0xA0, 0x00,
                                         0x00, 0x06, 0x47, 0x2F, 0x00, 0x01, 0x00};

class KeyExchangeLogTest : public SimTransportTest {
 protected:
  void SendBoth() {
    uint8_t reply[KEY_REPLY_BUFFER_SIZE];
    uint32_t length = sizeof reply;
    KeySendApdu(kSelectU2f.data(), static_cast<int>(kSelectU2f.size()), reply, &length,
                CTAPHID_MSG);
    length = sizeof reply;
    KeySendCbor(kGetInfo.data(), static_cast<int>(kGetInfo.size()), reply, &length);
  }
};

TEST_F(KeyExchangeLogTest, EveryExchangeWithHowItEnded) {
  struct Case {
    const char* name;
    SimMisbehaviour misbehave;
    Outcome outcome;
    // Whether the short APDU reply meets the fault too: faults of
    // continuation packets spare a reply that fits one packet.
    bool apduToo;
  };
  SimMisbehaviour silent;
  silent.silent = true;
  SimMisbehaviour badSequence;
  badSequence.badSequence = true;
  SimMisbehaviour truncated;
  truncated.truncatedReply = true;
  SimMisbehaviour errorReply;
  errorReply.ctaphidError = 0x06;
  const Case cases[] = {
      {"answers", SimMisbehaviour(), Outcome::kReply, true},
      {"silent", silent, Outcome::kTimedOut, true},
      {"cut off", truncated, Outcome::kTimedOut, false},
      {"bad sequence", badSequence, Outcome::kFailed, false},
      // A CTAPHID error is a reply: its one byte is what the host goes on.
      {"CTAPHID error", errorReply, Outcome::kReply, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimDeviceConfig config = Device(0x096E, 0x0858);
    config.path = "key";
    config.misbehave = c.misbehave;
    platform.RemoveDevice("key");
    platform.AddDevice(config);
    SelectFirst();

    KeyExchangeLog log;
    SendBoth();
    log.Stop();
    SendBoth();  // no longer observed

    ASSERT_EQ(log.exchanges().size(), 2u);
    const KeyLoggedExchange& apdu = log.exchanges()[0];
    EXPECT_EQ(apdu.command, CTAPHID_MSG);
    EXPECT_EQ(apdu.request, kSelectU2f);
    const KeyLoggedExchange& cbor = log.exchanges()[1];
    EXPECT_EQ(cbor.command, CTAPHID_CBOR);
    EXPECT_EQ(cbor.request, kGetInfo);
    EXPECT_EQ(apdu.outcome, c.apduToo ? c.outcome : Outcome::kReply);
    EXPECT_EQ(cbor.outcome, c.outcome);
    if (c.outcome == Outcome::kReply && c.misbehave.ctaphidError == 0) {
      EXPECT_EQ(apdu.reply, (std::vector<uint8_t>{'U', '2', 'F', '_', 'V', '2', 0x90, 0x00}));
      ASSERT_FALSE(cbor.reply.empty());
      EXPECT_EQ(cbor.reply[0], 0x00);
    } else if (c.misbehave.ctaphidError != 0) {
      EXPECT_EQ(cbor.reply, (std::vector<uint8_t>{0x06}));
    } else {
      EXPECT_TRUE(cbor.reply.empty());
    }
    EXPECT_EQ(log.device().path, "key");
    EXPECT_EQ(log.inputReportLength(), 65);
    EXPECT_EQ(log.initFacts().known, true);
  }
}

TEST_F(KeyExchangeLogTest, NothingSelectedNothingLogged) {
  KeyEnumerate();
  KeyExchangeLog log;
  SendBoth();
  log.Stop();
  EXPECT_TRUE(log.exchanges().empty());
  EXPECT_TRUE(log.device().IsEmpty());
  EXPECT_EQ(log.inputReportLength(), 0);
}

}  // namespace

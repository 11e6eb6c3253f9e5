// The default key answers a whole device refresh.
#include "simkey/sim_default_key.h"

#include <gtest/gtest.h>

#include <iterator>
#include <map>
#include <set>
#include <string>

#include "simkey/sim_platform.h"
#include "tests/simkey/sim_cbor_check.h"
#include "tests/simkey/sim_host.h"

namespace {

const Bytes kVersionRequest = {0x80, 0xE2, 0x80, 0x00, 0x05, 0xDF, 0xFF, 0x02, 0x80, 0x01, 0x00};

Bytes Select(const Bytes& name, bool le = true) {
  Bytes apdu = {0x00, 0xA4, 0x04, 0x00, static_cast<uint8_t>(name.size())};
  apdu.insert(apdu.end(), name.begin(), name.end());
  if (le) apdu.push_back(0x00);
  return apdu;
}

const Bytes kIdentify = {0xA0, 0x00, 0x00, 0x01, 0x67, 0x41, 0x30, 0x00, 0xFF};
const Bytes kWinHello = {0xD1, 0x56, 0x00, 0x01, 0x32, 0x52, 0x68,
                         0x65, 0x6C, 0x6C, 0x6F, 0x01, 0x01, 0x00};
const Bytes kOtp = {0xD1, 0x56, 0x00, 0x01, 0x32, 0x83, 0x26, 0x01, 0x01};
const Bytes kPiv = {0xA0, 0x00, 0x00, 0x03, 0x08, 0x00, 0x00, 0x10, 0x00, 0x01, 0x00};
const Bytes kGids = {0xA0, 0x00, 0x00, 0x03, 0x97, 0x42, 0x54, 0x46, 0x59, 0x02, 0x01};
const Bytes kNdef = {0xD2, 0x76, 0x00, 0x00, 0x85, 0x01, 0x01};
const Bytes kFido = {0xA0, 0x00, 0x00, 0x06, 0x47, 0x2F, 0x00, 0x01};

class SimDefaultKeyTest : public ::testing::Test {
 protected:
  void Start(SimDeviceConfig config = {}) {
    platform.AddDevice(std::move(config));
    host = std::make_unique<SimHost>(platform);
    channel = host->Allocate();
  }
  Bytes Apdu(const Bytes& apdu) { return host->Exchange(channel, 0x83, apdu).payload; }
  Item GetInfo() {
    const HostReply reply = host->Exchange(channel, 0x90, {0x04});
    Item map;
    size_t pos = 1;
    EXPECT_EQ(reply.payload.at(0), 0x00);
    EXPECT_TRUE(Decode(reply.payload, pos, map));
    EXPECT_EQ(pos, reply.payload.size()) << "nothing after the map";
    return map;
  }

  SimKeyPlatform platform;
  std::unique_ptr<SimHost> host;
  uint32_t channel = 0;
};

TEST_F(SimDefaultKeyTest, AnswersTheThirteenApdusOfARefresh) {
  Start();
  struct Step {
    Bytes request;
    size_t minData;
    uint16_t version;  // in data bytes 8 and 9, or 0
  };
  const Step steps[] = {
      {Select(kIdentify, false), 20, 0},
      {{0x80, 0xE3, 0x00, 0x00, 0x00}, 7, 0},
      {Select(kWinHello), 0, 0},
      {kVersionRequest, 16, SIMKEY_WINHELLO_VERSION},
      {Select(kOtp), 0, 0},
      {kVersionRequest, 16, SIMKEY_OTP_VERSION},
      {Select(kPiv), 0, 0},
      {kVersionRequest, 16, SIMKEY_PIV_VERSION},
      {Select(kGids), 0, 0},
      {kVersionRequest, 16, SIMKEY_GIDS_VERSION},
      {Select(kNdef), 0, 0},
      {Select(kFido), 6, 0},
      {kVersionRequest, 16, SIMKEY_U2F_VERSION},
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(i);
    const Bytes reply = Apdu(steps[i].request);
    ASSERT_GE(reply.size(), steps[i].minData + 2);
    EXPECT_EQ(Bytes(reply.end() - 2, reply.end()), (Bytes{0x90, 0x00}));
    // The selection answers fit the capacities the refresh gives them.
    EXPECT_LE(reply.size() - 2, i == 0 ? 30u : 25u);
    if (steps[i].version != 0) {
      EXPECT_EQ(reply[8] << 8 | reply[9], steps[i].version);
    }
  }
  EXPECT_EQ(
      Apdu(Select(kIdentify, false)),
      Join(Bytes(std::begin(SIMKEY_IDENTIFY_DATA), std::end(SIMKEY_IDENTIFY_DATA)), {0x90, 0x00}));
  const Bytes fingerprint = Apdu({0x80, 0xE3, 0x00, 0x00, 0x00});
  ASSERT_EQ(fingerprint.size(), 9u);
  EXPECT_EQ(fingerprint[5] << 8 | fingerprint[6], SIMKEY_FINGERPRINT_VERSION);
  EXPECT_EQ(Apdu(Select(kFido)), (Bytes{'U', '2', 'F', '_', 'V', '2', 0x90, 0x00}));
}

TEST_F(SimDefaultKeyTest, VersionFollowsTheCurrentApplet) {
  SimDeviceConfig config;
  // A profile SELECT answered 9000 makes that applet current too; one that
  // fails leaves the current applet.
  config.apdu.push_back({Select(kGids), false, {0x90, 0x00}});
  config.apdu.push_back({Select(kOtp), false, {0x6A, 0x82}});
  config.apdu.push_back({Select({0xF0, 0x01}), false, {0x90, 0x00}});
  Start(config);
  EXPECT_EQ(Apdu(kVersionRequest), (Bytes{0x6D, 0x00})) << "nothing selected yet";
  Apdu(Select(kPiv));
  EXPECT_EQ(Apdu({0x80, 0xE3, 0x00, 0x00, 0x00}).size(), 9u);
  EXPECT_EQ(Apdu(kVersionRequest)[9], SIMKEY_PIV_VERSION & 0xFF) << "other APDUs keep it";
  EXPECT_EQ(Apdu(Select(kGids)), (Bytes{0x90, 0x00}));
  EXPECT_EQ(Apdu(kVersionRequest)[9], SIMKEY_GIDS_VERSION & 0xFF);
  EXPECT_EQ(Apdu(Select(kOtp)), (Bytes{0x6A, 0x82}));
  EXPECT_EQ(Apdu(kVersionRequest)[9], SIMKEY_GIDS_VERSION & 0xFF);
  Apdu(Select({0xF0, 0x01}));
  EXPECT_EQ(Apdu(kVersionRequest), (Bytes{0x6D, 0x00})) << "an applet without a version";
  Apdu(Select(kIdentify, false));
  EXPECT_EQ(Apdu(kVersionRequest), (Bytes{0x6D, 0x00}));
  EXPECT_EQ(Apdu(Select({0xF0, 0x02})), (Bytes{0x6A, 0x82}));
  EXPECT_EQ(Apdu({0x00, 0xA4, 0x04, 0x00, 0x09, 0xA0}), (Bytes{0x67, 0x00})) << "Lc too long";
}

TEST_F(SimDefaultKeyTest, GetInfoCarriesEveryMember) {
  Start();
  const Item info = GetInfo();
  ASSERT_EQ(info.major, 5);
  ASSERT_EQ(info.Pairs(), 31u);
  std::map<uint64_t, Item> members;
  for (size_t i = 0; i < info.Pairs(); ++i) {
    EXPECT_EQ(info.Key(i).major, 0);
    EXPECT_EQ(info.Key(i).value, i + 1) << "keys 1 to 31 in order";
    members[info.Key(i).value] = info.Value(i);
  }
  EXPECT_EQ(members[0x01].items.size(), std::size(SIMKEY_VERSIONS));
  EXPECT_EQ(members[0x01].items[0].text, "U2F_V2");
  EXPECT_EQ(members[0x03].major, 2);
  EXPECT_EQ(members[0x03].text,
            std::string(std::begin(SIMKEY_DEFAULT_AAGUID), std::end(SIMKEY_DEFAULT_AAGUID)));

  const Item& options = members[0x04];
  ASSERT_EQ(options.Pairs(), 18u);
  std::set<std::string> names;
  for (size_t i = 0; i < options.Pairs(); ++i) {
    const std::string& name = options.Key(i).text;
    names.insert(name);
    EXPECT_EQ(options.Value(i).major, 7);
    if (i > 0) {
      const std::string& before = options.Key(i - 1).text;
      EXPECT_TRUE(before.size() < name.size() || (before.size() == name.size() && before < name))
          << "canonical order: " << before << " then " << name;
    }
    if (name == "clientPin") {
      EXPECT_EQ(options.Value(i).value, 20u) << "false, no PIN";
    }
  }
  for (const SimOption& option : SIMKEY_OPTIONS) EXPECT_TRUE(names.count(option.name));

  EXPECT_EQ(members[0x05].value, SIMKEY_MAX_MSG_SIZE);
  const Item& algorithms = members[0x0A];
  ASSERT_EQ(algorithms.items.size(), 2u);
  EXPECT_EQ(algorithms.items[0].Key(0).text, "alg");
  EXPECT_EQ(algorithms.items[0].Value(0).major, 1);
  EXPECT_EQ(algorithms.items[0].Value(0).value, 6u) << "-7";
  EXPECT_EQ(algorithms.items[1].Value(0).value, 7u) << "-8";
  EXPECT_EQ(algorithms.items[1].Value(1).text, "public-key");
  EXPECT_EQ(members[0x0C].value, 20u) << "forcePINChange false";
  for (uint64_t key : {0x0Bu, 0x0Du, 0x0Eu, 0x0Fu, 0x10u, 0x11u, 0x12u, 0x14u, 0x15u}) {
    EXPECT_EQ(members[key].major, 0) << key;
  }
  EXPECT_EQ(members[0x13].Pairs(), std::size(SIMKEY_CERTIFICATIONS));
  EXPECT_EQ(members[0x13].Key(0).text, "FIDO");
  // The members after CTAP 2.1's, each of its own type.
  for (uint64_t key : {0x16u, 0x1Au, 0x1Fu}) EXPECT_EQ(members[key].major, 4) << key;
  for (uint64_t key : {0x17u, 0x1Du}) EXPECT_EQ(members[key].major, 0) << key;
  for (uint64_t key : {0x18u, 0x1Bu}) EXPECT_EQ(members[key].major, 7) << key;
  for (uint64_t key : {0x19u, 0x1Cu, 0x1Eu}) EXPECT_EQ(members[key].major, 2) << key;
  EXPECT_EQ(members[0x1C].text, SIMKEY_PIN_COMPLEXITY_POLICY_URL);
}

TEST_F(SimDefaultKeyTest, PinSetShowsInClientPin) {
  SimDeviceConfig config;
  config.pin = "123456";
  Start(config);
  const Item info = GetInfo();
  ASSERT_EQ(info.Pairs(), 31u);
  const Item& options = info.Value(3);
  bool found = false;
  for (size_t i = 0; i < options.Pairs(); ++i) {
    if (options.Key(i).text == "clientPin") {
      found = true;
      EXPECT_EQ(options.Value(i).value, 21u);
    }
  }
  EXPECT_TRUE(found);
}

TEST_F(SimDefaultKeyTest, HardwareRecordHoldsEveryKnownTagOnce) {
  Start();
  const Bytes record(std::begin(SIMKEY_HARDWARE_RECORD), std::end(SIMKEY_HARDWARE_RECORD));
  for (const Bytes& request :
       {Bytes{0x80, 0xE3, 0xEE, 0x80, 0x00}, Bytes{0x80, 0x97, 0x00, 0x80, 0x00}}) {
    EXPECT_EQ(Apdu(request), Join(record, {0x90, 0x00}));
  }
  std::multiset<uint8_t> tags;
  size_t pos = 2;
  while (pos < record.size()) {
    ASSERT_LT(pos + 1, record.size());
    tags.insert(record[pos]);
    pos += 2 + record[pos + 1];
  }
  EXPECT_EQ(pos, record.size()) << "entries end with the record";
  const std::multiset<uint8_t> known = {0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87,
                                        0x88, 0x89, 0x90, 0x91, 0x92, 0x93, 0x94};
  EXPECT_EQ(tags, known);
}

TEST_F(SimDefaultKeyTest, ProfilesReplaceBuiltInAnswers) {
  SimDeviceConfig config;
  config.cbor[0x04] = {0x2E};
  config.apdu.push_back({{0x80, 0xE3, 0xEE}, true, {0x6D, 0x00}});
  Start(config);
  EXPECT_EQ(host->Exchange(channel, 0x90, {0x04}).payload, Bytes{0x2E});
  EXPECT_EQ(Apdu({0x80, 0xE3, 0xEE, 0x80, 0x00}), (Bytes{0x6D, 0x00}));
  EXPECT_EQ(Apdu({0x80, 0x97, 0x00, 0x80, 0x00}).size(), sizeof SIMKEY_HARDWARE_RECORD + 2);
  EXPECT_EQ(host->Exchange(channel, 0x90, {0x02, 0xA0}).payload, Bytes{0x01}) << "not built in";
}

}  // namespace

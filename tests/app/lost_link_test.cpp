// A key whose link fails in the middle of the report: the rows it has, exit
// status 3, a sentence for the kind of key, no record and no fetch. Over TCP
// the simulated key's server closes the connection when the key goes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/report_command.h"
#include "keyinfo/device_state.h"
#include "simkey/sim_profile_writer.h"
#include "tests/served_key.h"
#include "transport/key_device.h"

namespace {

TEST(LostLinkTest, ReportCutShortByAFailedLinkIsNoCompleteReport) {
  const char* const kUsb = "The key was removed or stopped answering.";
  const char* const kNetwork = "The connection to the key was lost.";
  struct Case {
    bool tcp;
    uint32_t goneAfterReports;  // 0: `fault` from the first report on
    const char* fault;
  };
  const Case cases[] = {
      {false, 1, nullptr}, {false, 6, nullptr}, {false, 0, "readFails"}, {false, 0, "writeFails"},
      {true, 1, nullptr},  {true, 4, nullptr},  {true, 9, nullptr},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(index);
    const std::string profile = ::testing::TempDir() + "lost" + std::to_string(index) + ".json";
    const std::string record = ::testing::TempDir() + "lost-record" + std::to_string(index++);
    std::filesystem::remove(record);
    SimDeviceConfig config;
    config.misbehave.goneAfterReports = c.goneAfterReports;
    config.misbehave.readFails = c.fault != nullptr && c.fault[0] == 'r';
    config.misbehave.writeFails = c.fault != nullptr && c.fault[0] == 'w';
    std::unique_ptr<ServedKey> served;
    std::vector<std::string> args = {"--report", "--record", record, "--fetch", "fido2"};
    if (c.tcp) {
      served = std::make_unique<ServedKey>(config, false);
      args.insert(args.end(), {"--device", served->address});
    } else {
      std::ofstream(profile) << SimProfileJson({config}, "");
      args.insert(args.end(), {"--simulate", profile});
    }
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunReportCommand(ParseCommandLine(args), false, in, out, err);
    EXPECT_EQ(status, EXIT_KEY_DID_NOT_ANSWER);
    EXPECT_EQ(err.str(), std::string("quillmark: ") + (c.tcp ? kNetwork : kUsb) + "\n");
    EXPECT_NE(out.str().find("Device name"), std::string::npos);
    EXPECT_EQ(out.str().find("authenticatorGetInfo"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(record));
  }
}

TEST(LostLinkTest, StoppedKeyIsToldForItsKind) {
  struct Case {
    const char* device;  // empty: a USB key found by the filter
    bool linkLost;
    const char* sentence;
  };
  const Case cases[] = {
      {"", false, "The key did not answer. Unplug it and plug it in again."},
      {"/dev/hidraw3", true, "The key was removed or stopped answering."},
      {"096E:0858", false, "The key did not answer. Unplug it and plug it in again."},
      {"udp:127.0.0.1:8111:7112", false,
       "The authenticator at udp:127.0.0.1:8111:7112 did not answer."},
      {"tcp:[::1]:8112", false, "The authenticator at tcp:[::1]:8112 did not answer."},
      {"tcp:127.0.0.1:8112", true, "The connection to the key was lost."},
  };
  for (const Case& c : cases) {
    DeviceName name;
    std::string error;
    const bool named = c.device[0] != '\0';
    ASSERT_TRUE(!named || ParseDeviceName(c.device, name, error)) << error;
    KeyDevice::Instance().SetNamedDevice(named ? &name : nullptr);
    QuillmarkModel model;
    EXPECT_EQ(KeyStoppedText(model), "");
    model.keyDidNotAnswer = true;
    model.keyLinkLost = c.linkLost;
    EXPECT_EQ(KeyStoppedText(model), c.sentence) << c.device;
  }
  KeyDevice::Instance().SetNamedDevice(nullptr);
}

}  // namespace

// Loading simulated key profiles.
#include "simkey/sim_profile.h"

#include <gtest/gtest.h>

#include <array>

#include "simkey/sim_platform.h"
#include "tests/simkey/sim_host.h"
#include "tests/source_dir.h"

namespace {

TEST(SimProfileTest, ReadsEveryField) {
  const std::string json = R"({ "comment": "two devices", "devices": [ {
      "vendorId": "2ccf", "productId": "0880", "release": "0A1", "product": "Other Key",
      "usagePage": "F1D0", "usage": "0001", "path": "key-a", "pin": "123456",
      "builtin": false, "inputReportLength": 129, "outputReportLength": 129,
      "apdu": { "00A4*": "6A82", "00 a4 04 00 01 aa": "0190 00", "*": "6D00" },
      "cbor": { "04": "00A0", "0b": "" },
      "touchDelayMs": 3000, "touchCommands": ["01", 2], "openError": 13,
      "misbehave": { "silent": true, "zeroLengthReports": 2, "ctaphidError": "0B",
                     "oversizeReply": 5000, "badSequence": true },
      "pinRetries": 3, "pinTokenLength": 16,
      "attestation": { "x5c": "none", "certificates": 4, "corruptCertificate": true,
                       "wrongSignature": true, "comment": "self" },
      "u2f": { "touchDelayMs": 3000, "pieces": 3, "firstPieceEmpty": true, "rejectExtended": true,
               "wrongSignature": true, "corruptCertificate": true }
    }, {} ] })";
  std::vector<SimDeviceConfig> devices;
  std::string error;
  ASSERT_TRUE(LoadSimProfile(json, devices, error)) << error;
  ASSERT_EQ(devices.size(), 2u);
  const SimDeviceConfig& a = devices[0];
  EXPECT_EQ(a.vendorId, 0x2CCF);
  EXPECT_EQ(a.productId, 0x0880);
  EXPECT_EQ(a.release, 0x00A1);
  EXPECT_EQ(a.product, "Other Key");
  EXPECT_EQ(a.path, "key-a");
  EXPECT_EQ(a.pin, "123456");
  EXPECT_FALSE(a.builtin);
  EXPECT_EQ(a.inputReportLength, 129);
  EXPECT_EQ(a.outputReportLength, 129);
  ASSERT_EQ(a.apdu.size(), 3u) << "file order kept";
  EXPECT_EQ(a.apdu[0].request, (Bytes{0x00, 0xA4}));
  EXPECT_TRUE(a.apdu[0].prefix);
  EXPECT_EQ(a.apdu[1].request, (Bytes{0x00, 0xA4, 0x04, 0x00, 0x01, 0xAA}));
  EXPECT_FALSE(a.apdu[1].prefix);
  EXPECT_EQ(a.apdu[1].answers,
            (std::vector<SimAnswer>{{SimAnswer::Kind::kReply, {0x01, 0x90, 0x00}}}));
  EXPECT_TRUE(a.apdu[2].request.empty());
  EXPECT_TRUE(a.apdu[2].prefix) << "a lone * matches everything";
  ASSERT_EQ(a.cborRules.size(), 2u);
  EXPECT_EQ(a.cborRules[0],
            (SimCborRule{{0x04}, false, {{SimAnswer::Kind::kReply, {0x00, 0xA0}}}}));
  EXPECT_EQ(a.cborRules[1], (SimCborRule{{0x0B}, false, {{SimAnswer::Kind::kReply, {}}}}));
  EXPECT_TRUE(a.cbor.empty());
  EXPECT_EQ(a.touchDelayMs, 3000u);
  EXPECT_EQ(a.touchCommands, (Bytes{0x01, 0x02}));
  EXPECT_EQ(a.openError, 13);
  EXPECT_TRUE(a.misbehave.silent);
  EXPECT_EQ(a.misbehave.zeroLengthReports, 2u);
  EXPECT_EQ(a.misbehave.ctaphidError, 0x0B);
  EXPECT_EQ(a.misbehave.oversizeReply, 5000u);
  EXPECT_TRUE(a.misbehave.badSequence);
  EXPECT_FALSE(a.misbehave.readFails);
  EXPECT_EQ(a.pinRetries, 3u);
  EXPECT_EQ(a.pinTokenLength, 16u);
  EXPECT_EQ(a.attestation.x5c, SimAttestationOptions::X5c::kNone);
  EXPECT_EQ(a.attestation.certificates, 4u);
  EXPECT_TRUE(a.attestation.corruptCertificate);
  EXPECT_TRUE(a.attestation.wrongSignature);
  EXPECT_EQ(a.u2f.touchDelayMs, 3000u);
  EXPECT_EQ(a.u2f.pieces, 3u);
  EXPECT_TRUE(a.u2f.firstPieceEmpty);
  EXPECT_TRUE(a.u2f.rejectExtended);
  EXPECT_TRUE(a.u2f.wrongSignature);
  EXPECT_TRUE(a.u2f.corruptCertificate);

  // An empty entry is the default key.
  const SimDeviceConfig& b = devices[1];
  const SimDeviceConfig defaults;
  EXPECT_EQ(b.vendorId, defaults.vendorId);
  EXPECT_EQ(b.productId, defaults.productId);
  EXPECT_EQ(b.release, defaults.release);
  EXPECT_EQ(b.product, defaults.product);
  EXPECT_EQ(b.usagePage, defaults.usagePage);
  EXPECT_EQ(b.inputReportLength, 65);
  EXPECT_TRUE(b.builtin);
  EXPECT_TRUE(b.path.empty());
  EXPECT_TRUE(b.pin.empty());
  EXPECT_EQ(b.touchCommands, Bytes{0x01});
  EXPECT_EQ(b.pinRetries, 8u);
  EXPECT_EQ(b.attestation.x5c, SimAttestationOptions::X5c::kChain);
  EXPECT_EQ(b.attestation.certificates, 2u);
  EXPECT_EQ(b.u2f.touchDelayMs, 1500u);
  EXPECT_EQ(b.u2f.pieces, 1u);
}

TEST(SimProfileTest, EmptyDeviceListIsARunWithoutAKey) {
  std::vector<SimDeviceConfig> devices(2);
  std::string error;
  ASSERT_TRUE(LoadSimProfile(R"({"devices": []})", devices, error)) << error;
  EXPECT_TRUE(devices.empty());
  EXPECT_EQ(SimKeyPlatform::FromProfile(devices)->deviceCount(), 0u);
}

TEST(SimProfileTest, BadProfilesNameTheDeviceAndField) {
  struct Case {
    const char* json;
    const char* error;
  };
  const Case cases[] = {
      {R"({"devices": [ {"vendorId": "096E",} ]})", "not valid JSON"},
      {"", "not valid JSON"},
      {R"([1, 2])", "profile: expected an object"},
      {R"({"devices": {}})", "expected an array \"devices\""},
      {R"({"device": []})", "profile: device: unknown field"},
      {R"({"devices": [ 5 ]})", "device 0: expected an object"},
      {R"({"devices": [ {}, {"vendorId": "09G6"} ]})",
       "device 1: vendorId: \"09G6\" is not a hexadecimal number"},
      {R"({"devices": [ {"productId": "10000"} ]})", "device 0: productId: 65536 is larger"},
      {R"({"devices": [ {"usage": true} ]})", "device 0: usage: expected a hexadecimal string"},
      {R"({"devices": [ {"inputReportLength": -1} ]})", "device 0: inputReportLength: expected"},
      {R"({"devices": [ {"inputReportLength": "41"} ]})",
       "device 0: inputReportLength: expected a number"},
      {R"({"devices": [ {"apdu": {"00A4": "9G00"}} ]})",
       "device 0: apdu \"00A4\": \"9G00\" is not hexadecimal bytes"},
      {R"({"devices": [ {"apdu": {"00A": "9000"}} ]})",
       "device 0: apdu \"00A\": the request is not hexadecimal"},
      {R"({"devices": [ {"apdu": {"": "9000"}} ]})", "device 0: apdu \"\": the request"},
      {R"({"devices": [ {"apdu": {"00A4": 9000}} ]})",
       "device 0: apdu \"00A4\": expected a string"},
      {R"({"devices": [ {"apdu": ["00A4"]} ]})", "device 0: apdu: expected an object"},
      {R"({"devices": [ {"cbor": {"010*4": "00"}} ]})",
       "device 0: cbor \"010*4\": the request is not hexadecimal bytes"},
      {R"({"devices": [ {"cbor": {"": "00"}} ]})", "device 0: cbor \"\": the request is not"},
      {R"({"devices": [ {"cbor": {"04": []}} ]})",
       "device 0: cbor \"04\": expected at least one answer"},
      {R"({"devices": [ {"cbor": {"04": ["00", "quiet"]}} ]})",
       "device 0: cbor \"04\"[1]: \"quiet\" is not hexadecimal bytes, \"silent\" or \"broken\""},
      {R"({"devices": [ {"apdu": {"00A4": ["9000", 9000]}} ]})",
       "device 0: apdu \"00A4\"[1]: expected a string or an array of strings"},
      {R"({"devices": [ {"apdu": {"00A4": {"reply": "9000"}}} ]})",
       "device 0: apdu \"00A4\": expected a string or an array"},
      {R"({"devices": [ {}, {"apdu": {"00a4*": "9000", "00 A4*": "6D00"}} ]})",
       "device 1: apdu \"00 A4*\": the same request as \"00a4*\""},
      {R"({"devices": [ {"cbor": {"06": "00", "06*": "00", "6": "00"}} ]})",
       "device 0: cbor \"6\": the request is not hexadecimal bytes"},
      {R"({"devices": [ {"cbor": {"04": "0"}} ]})", "device 0: cbor \"04\": \"0\" is not hex"},
      {R"({"devices": [ {"builtin": "no"} ]})", "device 0: builtin: expected true or false"},
      {R"({"devices": [ {"touchCommands": ["1FF"]} ]})", "device 0: touchCommands[0]: 511"},
      {R"({"devices": [ {"touchDelay": 5} ]})", "device 0: touchDelay: unknown field"},
      {R"({"devices": [ {"misbehave": {"silence": true}} ]})",
       "device 0: misbehave.silence: unknown field"},
      {R"({"devices": [ {"misbehave": {"silent": 1}} ]})",
       "device 0: misbehave.silent: expected true or false"},
      {R"({"devices": [ {"misbehave": {"ctaphidError": 256}} ]})",
       "device 0: misbehave.ctaphidError: 256 is larger than 255"},
      {R"({"devices": [ {"pinTokenLength": 24} ]})",
       "device 0: pinTokenLength: 24 is not 16, 32, 48 or 64"},
      {R"({"devices": [ {"attestation": {"x5c": "full"}} ]})",
       "device 0: attestation.x5c: \"full\" is not \"chain\", \"none\" or \"empty\""},
      {R"({"devices": [ {"attestation": {"certificates": 0}} ]})",
       "device 0: attestation.certificates: 0 is smaller than 1"},
      {R"({"devices": [ {"attestation": {"certificates": 5}} ]})",
       "device 0: attestation.certificates: 5 is larger than 4"},
      {R"({"devices": [ {"attestation": {"selfAttestation": true}} ]})",
       "device 0: attestation.selfAttestation: unknown field"},
      {R"({"devices": [ {"u2f": {"pieces": 0}} ]})", "device 0: u2f.pieces: 0 is smaller than 1"},
      {R"({"devices": [ {"u2f": {"rejectExtended": "yes"}} ]})",
       "device 0: u2f.rejectExtended: expected true or false"},
      // Custom attestation material.
      {R"({"devices": [ {"attestation": {"chain": []}} ]})",
       "device 0: attestation.chain: expected an array of at least one certificate"},
      {R"({"devices": [ {"attestation": {"chain": ["3082", "30G2"]}} ]})",
       "device 0: attestation.chain[1]: expected a certificate as hexadecimal bytes"},
      {R"({"devices": [ {"u2f": {"certificate": ""}} ]})",
       "device 0: u2f.certificate: expected a certificate as hexadecimal bytes"},
      {R"({"devices": [ {"attestation": {"privateKey": "0102"}} ]})",
       "device 0: attestation.privateKey: expected a P-256 private key of 32 bytes, not 2"},
      {R"({"devices": [ {"u2f": {"privateKey": "XY"}} ]})",
       "device 0: u2f.privateKey: not hexadecimal bytes"},
      {R"({"devices": [ {"attestation": {"privateKey": "0000000000000000000000000000000000000000000000000000000000000000"}} ]})",
       "device 0: attestation.privateKey: not a P-256 private key"},
      {R"({"devices": [ {"u2f": {"privateKey": "FFFFFFFF00000000FFFFFFFFFFFFFFFFBCE6FAADA7179E84F3B9CAC2FC632551"}} ]})",
       "device 0: u2f.privateKey: not a P-256 private key"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    std::vector<SimDeviceConfig> devices(3);
    std::string error;
    EXPECT_FALSE(LoadSimProfile(c.json, devices, error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_EQ(devices.size(), 3u) << "left as it was";
  }
}

TEST(SimProfileTest, RetriesAndInitReplyFields) {
  std::vector<SimDeviceConfig> devices;
  std::string error;
  ASSERT_TRUE(LoadSimProfile(R"({"devices": [ {"uvRetries": 2, "pinPowerCycle": true,
      "ctaphidProtocol": 1, "deviceVersion": [1, "0A", 255], "capabilities": "0D"}, {} ]})",
                             devices, error))
      << error;
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_EQ(devices[0].uvRetries, 2u);
  EXPECT_TRUE(devices[0].pinPowerCycle);
  EXPECT_EQ(devices[0].ctaphidProtocol, 1u);
  EXPECT_EQ(devices[0].deviceVersion, (std::array<uint8_t, 3>{1, 10, 255}));
  EXPECT_EQ(devices[0].capabilities, 0x0D);
  // The defaults: what the INIT reply of the default key says.
  EXPECT_FALSE(devices[1].pinPowerCycle);
  EXPECT_EQ(devices[1].ctaphidProtocol, 2u);
  EXPECT_EQ(devices[1].deviceVersion, (std::array<uint8_t, 3>{5, 2, 7}));
  EXPECT_EQ(devices[1].capabilities, 0x05);

  const std::pair<const char*, const char*> kBad[] = {
      {R"({"devices": [ {"deviceVersion": [5, 2]} ]})",
       "device 0: deviceVersion: expected [major, minor, build]"},
      {R"({"devices": [ {"deviceVersion": [5, 2, 256]} ]})", "deviceVersion[2]: 256 is larger"},
      {R"({"devices": [ {"uvRetries": 256} ]})", "device 0: uvRetries: 256 is larger"},
      {R"({"devices": [ {"capabilities": "100"} ]})", "device 0: capabilities: 256 is larger"},
      {R"({"devices": [ {"pinPowerCycle": 1} ]})", "pinPowerCycle: expected true or false"},
  };
  for (const auto& [json, message] : kBad) {
    EXPECT_FALSE(LoadSimProfile(json, devices, error)) << json;
    EXPECT_NE(error.find(message), std::string::npos) << error;
  }
}

TEST(SimProfileTest, MissingFileNamesThePath) {
  std::vector<SimDeviceConfig> devices;
  std::string error;
  EXPECT_FALSE(LoadSimProfileFile("/nonexistent/profile.json", devices, error));
  EXPECT_NE(error.find("/nonexistent/profile.json"), std::string::npos) << error;
}

TEST(SimProfileTest, SampleProfilesLoadAndRun) {
  std::vector<SimDeviceConfig> devices;
  std::string error;
  ASSERT_TRUE(LoadSimProfileFile(SourceDir() + "/simkey/profiles/two-keys.json", devices, error))
      << error;
  ASSERT_EQ(devices.size(), 2u);
  EXPECT_NE(devices[0].vendorId, devices[1].vendorId);

  ASSERT_TRUE(LoadSimProfileFile(SourceDir() + "/simkey/profiles/no-key.json", devices, error))
      << error;
  EXPECT_TRUE(devices.empty());
  ASSERT_TRUE(
      LoadSimProfileFile(SourceDir() + "/simkey/profiles/pin-and-pieces.json", devices, error))
      << error;
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].u2f.pieces, 3u);

  ASSERT_TRUE(LoadSimProfileFile(SourceDir() + "/simkey/profiles/no-applets.json", devices, error))
      << error;
  ASSERT_EQ(devices.size(), 1u);
  auto platform = SimKeyPlatform::FromProfile(devices);
  SimHost host(*platform);
  const uint32_t channel = host.Allocate();
  // OTP and NDEF are gone; the FIDO applet and GetInfo are still there.
  const Bytes otp = {0x00, 0xA4, 0x04, 0x00, 0x09, 0xD1, 0x56, 0x00,
                     0x01, 0x32, 0x83, 0x26, 0x01, 0x01, 0x00};
  const Bytes ndef = {0x00, 0xA4, 0x04, 0x00, 0x07, 0xD2, 0x76, 0x00, 0x00, 0x85, 0x01, 0x01, 0x00};
  const Bytes u2f = {0x00, 0xA4, 0x04, 0x00, 0x08, 0xA0, 0x00,
                     0x00, 0x06, 0x47, 0x2F, 0x00, 0x01, 0x00};
  EXPECT_EQ(host.Exchange(channel, 0x83, otp).payload, (Bytes{0x6A, 0x82}));
  EXPECT_EQ(host.Exchange(channel, 0x83, ndef).payload, (Bytes{0x6A, 0x82}));
  const Bytes selected = host.Exchange(channel, 0x83, u2f).payload;
  ASSERT_GE(selected.size(), 2u);
  EXPECT_EQ(Bytes(selected.end() - 2, selected.end()), (Bytes{0x90, 0x00}));
  EXPECT_EQ(host.Exchange(channel, 0x90, {0x04}).payload[0], 0x00);
}

}  // namespace

// A simulated key plugged in for the passkeys reading, the prompt that types
// its PIN, and what the tests read back: the page rows and the requests the
// key received.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "attestation_test_util.h"
#include "cbor/cbor_view.h"
#include "keyinfo/passkeys_page.h"
#include "simkey/sim_platform.h"
#include "transport/ctaphid.h"
#include "transport/key_device.h"

class PinPrompt : public RecordingPrompt {
 public:
  bool Confirm(const std::string& text) override {
    confirms.push_back(text);
    return true;
  }
  bool AskPin(std::string* pin) override {
    *pin = typed;
    ++asked;
    return true;
  }
  std::string typed = "1234";
  int asked = 0;
  std::vector<std::string> confirms;
};

class PasskeysSimTest : public ::testing::Test {
 protected:
  void TearDown() override {
    KeyDevice::Instance().SetPlatform(nullptr);
    KeyDevice::Instance().SetClock(nullptr);
    KeyLayerReady = false;
  }

  SimDevice& PlugConfig(const SimDeviceConfig& config) {
    KeyDevice::Instance().SetPlatform(nullptr);
    KeyDevice::Instance().SetClock(nullptr);
    platform = std::make_unique<SimKeyPlatform>();
    SimDevice& device = platform->AddDevice(config);
    KeyDevice::Instance().SetPlatform(platform.get());
    KeyDevice::Instance().SetClock(&platform->clock());
    KeyLayerReady = true;
    KeyEnumerate();
    KeySelect(0, 0);
    return device;
  }

  // The key's own GetInfo answer, as the refresh keeps it.
  static std::vector<uint8_t> AskGetInfo() {
    std::vector<uint8_t> answer(KEY_REPLY_BUFFER_SIZE);
    uint32_t length = static_cast<uint32_t>(answer.size());
    const uint8_t getInfo[] = {0x04};
    if (KeySendCbor(getInfo, sizeof getInfo, answer.data(), &length) != 0) return {};
    answer.resize(length);
    return answer;
  }

  // The token requests of authenticatorClientPIN: "sub/protocol[/permissions]".
  static std::string TokenRequests(const SimDevice& device) {
    std::string text;
    for (const SimDevice::Message& message : device.receivedMessages) {
      if (message.command != CTAPHID_CBOR || message.payload.empty() ||
          message.payload[0] != 0x06) {
        continue;
      }
      const CborView map(message.payload.data() + 1,
                         static_cast<uint32_t>(message.payload.size() - 1));
      uint32_t sub = 0, protocol = 0, permissions = 0;
      map.FindIntKey(2).GetUnsigned(sub);
      map.FindIntKey(1).GetUnsigned(protocol);
      if (sub < 5) continue;
      text += (text.empty() ? "" : " ") + std::to_string(sub) + "/" + std::to_string(protocol);
      if (map.FindIntKey(9).GetUnsigned(permissions)) text += "/" + std::to_string(permissions);
    }
    return text;
  }

  static std::string Rows(QuillmarkModel& model) {
    const ReportList& list = PasskeysList(model);
    std::string rows;
    for (size_t row = 0; row < list.RowCount(); ++row) {
      if (row != 0) rows += '|';
      rows.append(list.Cell(row, 0)).append("=").append(list.Cell(row, 1));
    }
    return rows;
  }

  std::unique_ptr<SimKeyPlatform> platform;
};

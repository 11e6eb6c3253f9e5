#include "simkey/sim_device.h"

#include "simkey/sim_cbor_in.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint8_t KEEPALIVE_PROCESSING = 0x01;
constexpr uint8_t KEEPALIVE_UP_NEEDED = 0x02;
constexpr uint8_t CTAP2_ERR_KEEPALIVE_CANCEL = 0x2D;

uint32_t ForeignChannel(uint32_t channel) {
  return channel == SIMKEY_FOREIGN_CHANNEL ? SIMKEY_FOREIGN_CHANNEL + 1 : SIMKEY_FOREIGN_CHANNEL;
}

}  // namespace

SimDevice::SimDevice(SimDeviceConfig initial, SimClock& clock)
    : config(std::move(initial)), clock_(clock), answers_(clock) {}

void SimDevice::QueueRawReports(std::vector<std::vector<uint8_t>> reports, bool stampChannel) {
  rawReports_ = std::move(reports);
  stampRaw_ = stampChannel;
  rawPending_ = true;
}

int SimDevice::Write(const uint8_t* report, size_t length) {
  writtenReports.emplace_back(report, report + length);
  if (config.misbehave.writeFails || gone()) return -1;
  // Like the operating system, accept only whole output reports of report 0.
  if (length == 0 || length != config.outputReportLength || report[0] != 0) return -1;

  uint8_t packet[SIM_PACKET_SIZE] = {};
  std::memcpy(packet, report + 1, std::min(length - 1, SIM_PACKET_SIZE));
  SimPacketEvent event = assembler_.Feed(packet);
  if (event.kind == SimPacketEvent::Kind::kError) {
    SendError(event.channel, event.command);
  } else if (event.kind == SimPacketEvent::Kind::kMessage) {
    OnMessage(event.channel, event.command, std::move(event.payload));
  }
  return static_cast<int>(length);
}

int SimDevice::Read(uint8_t* report, size_t length, int timeoutMs) {
  if (config.misbehave.readFails || gone()) return -1;
  if (output_.empty() && held_.active) {
    if (held_.forever || clock_.NowMs() < held_.readyAtMs) {
      if (timeoutMs == 0) return 0;  // a poll finds no keep-alive due
      std::deque<SimReport> keepAlive;
      SimFrameMessage(held_.channel, SIM_CMD_KEEPALIVE, {held_.keepAliveStatus}, {}, keepAlive);
      clock_.Advance(SIMKEY_KEEPALIVE_INTERVAL_MS);
      keepAlive.front().resize(config.inputReportLength, 0);
      return Deliver(keepAlive.front(), report, length);
    }
    if (config.processingKeepAlive && !held_.forever && !held_.processingSent) {
      held_.processingSent = true;
      std::deque<SimReport> keepAlive;
      SimFrameMessage(held_.channel, SIM_CMD_KEEPALIVE, {KEEPALIVE_PROCESSING}, {}, keepAlive);
      keepAlive.front().resize(config.inputReportLength, 0);
      return Deliver(keepAlive.front(), report, length);
    }
    held_.active = false;
    Reply(held_.channel, held_.command, std::move(held_.payload));
  }
  if (output_.empty()) {
    if (timeoutMs > 0) clock_.Advance(static_cast<uint64_t>(timeoutMs));
    if (timeoutMs < 0) clock_.Advance(SIMKEY_BLOCKING_READ_MS);
    return 0;
  }
  const SimReport next = std::move(output_.front());
  output_.pop_front();
  return Deliver(next, report, length);
}

int SimDevice::Deliver(const SimReport& source, uint8_t* report, size_t length) {
  const size_t stored = std::min(length, source.size());
  std::memcpy(report, source.data(), stored);
  ++reportsDelivered;
  return static_cast<int>(stored);
}

void SimDevice::OnMessage(uint32_t channel, uint8_t command, std::vector<uint8_t> payload) {
  Message message{};
  SimWriteChannel(channel, message.channel);
  message.command = command;
  message.payload = payload;
  receivedMessages.push_back(std::move(message));

  if (command == SIM_CMD_INIT) return OnInit(channel, payload);
  if (channel == SIM_BROADCAST_CHANNEL || !Allocated(channel)) {
    return SendError(channel, SIM_ERR_INVALID_CHANNEL);
  }
  if (command == SIM_CMD_CANCEL) return OnCancel(channel);

  // One transaction at a time: a new request replaces a reply still held.
  held_.active = false;
  if (rawPending_) {
    rawPending_ = false;
    for (std::vector<uint8_t>& raw : rawReports_) {
      if (stampRaw_ && raw.size() >= 5) SimWriteChannel(channel, &raw[1]);
      output_.push_back(std::move(raw));
    }
    rawReports_.clear();
    return;
  }

  const SimMisbehaviour& faults = config.misbehave;
  uint8_t replyCommand = command;
  SimAnswer answer;
  bool refused = false;  // the built-in authenticator said no before the touch
  if (faults.ctaphidError != 0 && (command == SIM_CMD_MSG || command == SIM_CMD_CBOR)) {
    replyCommand = SIM_CMD_ERROR;
    answer.reply = {faults.ctaphidError};
  } else if (command == SIM_CMD_PING) {
    answer.reply = payload;
  } else if (command == SIM_CMD_WINK) {
    // Nothing to blink; the empty reply says it was done.
  } else if (command == SIM_CMD_MSG) {
    answer = answers_.AnswerApdu(config, payload);
  } else if (command == SIM_CMD_CBOR && !payload.empty()) {
    answer = answers_.AnswerCbor(config, payload, &refused);
  } else {
    replyCommand = SIM_CMD_ERROR;
    answer.reply = {command == SIM_CMD_CBOR ? SIM_ERR_INVALID_LEN : SIM_ERR_INVALID_CMD};
  }

  if (faults.keepAliveForever) {
    held_ = {true, true, channel, 0, KEEPALIVE_PROCESSING, replyCommand, std::move(answer.reply)};
    return;
  }
  if (faults.silent || answer.kind == SimAnswer::Kind::kSilent) return;
  if (answer.kind == SimAnswer::Kind::kBroken) return SendBroken(channel, replyCommand);
  if (replyCommand != SIM_CMD_ERROR && !refused && WaitsForTouch(command, payload)) {
    held_ = {true,
             false,
             channel,
             clock_.NowMs() + config.touchDelayMs,
             KEEPALIVE_UP_NEEDED,
             replyCommand,
             std::move(answer.reply)};
    return;
  }
  Reply(channel, replyCommand, std::move(answer.reply));
}

void SimDevice::OnInit(uint32_t channel, const std::vector<uint8_t>& nonce) {
  ++initCount;
  if (nonce.size() != 8) return SendError(channel, SIM_ERR_INVALID_LEN);
  uint32_t allocated = channel;
  if (channel == SIM_BROADCAST_CHANNEL) {
    const uint32_t count = static_cast<uint32_t>(channels_.size());
    if (config.sequentialChannels) {
      const uint32_t number = count + 2;
      const uint8_t bytes[4] = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                                static_cast<uint8_t>(number >> 16),
                                static_cast<uint8_t>(number >> 24)};
      allocated = SimReadChannel(bytes);
    } else {
      allocated = SIMKEY_FIRST_CHANNEL + count;
    }
    channels_.push_back(allocated);
    answers_.RestartTurns();  // a new channel is a new session of the host
  } else if (!Allocated(channel)) {
    return SendError(channel, SIM_ERR_INVALID_CHANNEL);
  } else if (held_.channel == channel) {
    held_.active = false;  // resynchronisation abandons the transaction
  }
  if (config.misbehave.silentInit) return;

  std::vector<uint8_t> reply = nonce;
  reply.resize(12);
  SimWriteChannel(allocated, &reply[8]);
  reply.push_back(config.ctaphidProtocol);
  reply.insert(reply.end(), config.deviceVersion.begin(), config.deviceVersion.end());
  reply.push_back(config.capabilities);
  if (config.misbehave.initWrongNonceFirst) {
    std::vector<uint8_t> wrong = reply;
    for (size_t i = 0; i < 8; ++i) wrong[i] ^= 0xFF;
    SimWriteChannel(SIMKEY_BOGUS_CHANNEL, &wrong[8]);
    Send(channel, SIM_CMD_INIT, wrong);
  }
  Send(channel, SIM_CMD_INIT, reply);
}

void SimDevice::OnCancel(uint32_t channel) {
  // A cancelled wait for a touch ends at once; CANCEL itself has no reply.
  if (!held_.active || held_.forever || held_.channel != channel) return;
  held_.command = SIM_CMD_CBOR;
  held_.payload = {CTAP2_ERR_KEEPALIVE_CANCEL};
  held_.readyAtMs = clock_.NowMs();
}

bool SimDevice::Allocated(uint32_t channel) const {
  return std::find(channels_.begin(), channels_.end(), channel) != channels_.end();
}

bool SimDevice::WaitsForTouch(uint8_t command, const std::vector<uint8_t>& payload) const {
  if (command != SIM_CMD_CBOR || payload.empty() || config.touchDelayMs == 0) return false;
  const auto& touch = config.touchCommands;
  if (std::find(touch.begin(), touch.end(), payload[0]) != touch.end()) return true;
  // A token through the fingerprint waits for the finger like a touch.
  SimCborItem request;
  return payload[0] == 0x06 && payload.size() > 1 &&
         SimReadCbor(&payload[1], payload.size() - 1, request) &&
         request.Find(0x02).major == SimCborItem::kUnsigned && request.Find(0x02).Int() == 0x06;
}

void SimDevice::Reply(uint32_t channel, uint8_t command, std::vector<uint8_t> payload) {
  const SimMisbehaviour& faults = config.misbehave;
  for (uint32_t i = 0; i < faults.foreignReportsFirst; ++i) {
    Send(ForeignChannel(channel), command, {0x6F, 0x00});
  }
  for (uint32_t i = 0; i < faults.zeroLengthReports; ++i) Send(channel, command, {});
  if (faults.oversizeReply > payload.size()) {
    payload.resize(std::min<size_t>(faults.oversizeReply, SIM_MAX_MESSAGE), 0);
  }
  SimFrameOptions options;
  options.firstSequence = faults.badSequence ? 1 : 0;
  options.initPacketOnly = faults.truncatedReply;
  Send(faults.otherChannelReply ? ForeignChannel(channel) : channel, command, payload, options);
}

void SimDevice::SendBroken(uint32_t channel, uint8_t command) {
  SimFrameOptions options;
  options.firstSequence = 1;
  Send(channel, command, std::vector<uint8_t>(SIMKEY_BROKEN_REPLY_LENGTH, 0), options);
}

void SimDevice::Send(uint32_t channel, uint8_t command, const std::vector<uint8_t>& payload,
                     const SimFrameOptions& options) {
  std::deque<SimReport> reports;
  SimFrameMessage(channel, command, payload, options, reports);
  for (SimReport& report : reports) {
    report.resize(config.inputReportLength, 0);
    output_.push_back(std::move(report));
  }
}

// One CTAPHID request and its reply on the selected interface.
#include <cstring>
#include <random>

#include "transport/ctaphid.h"
#include "transport/key_device.h"

namespace {

// A key that floods us cannot keep the flush going for ever.
constexpr int kFlushReportLimit = 256;
const uint8_t kBroadcastChannel[4] = {0xFF, 0xFF, 0xFF, 0xFF};

void Flush(HidPlatform& hid, KeyHandle handle) {
  uint8_t report[KEY_REPORT_BUFFER_SIZE];
  for (int i = 0; i < kFlushReportLimit; ++i) {
    if (hid.Read(handle, report, sizeof report, 0) <= 0) return;
  }
}

bool ReportLengthUsable(uint16_t length) {
  return length >= CTAPHID_REPORT_LENGTH && length <= KEY_REPORT_BUFFER_SIZE;
}

}  // namespace

int KeyDevice::ReadReport(KeyHandle handle, uint8_t* report, uint16_t length, uint64_t deadline) {
  std::memset(report, 0, KEY_REPORT_BUFFER_SIZE);
  const uint64_t now = clock_->NowMs();
  if (now >= deadline) {
    lastExchangeTimedOut = true;
    return 0;
  }
  const int read = platform().Read(handle, report, length, static_cast<int>(deadline - now));
  if (read == 0) lastExchangeTimedOut = true;
  if (read < 0) lastExchangeLinkLost = true;
  if (read <= 0) return read;
  return read > length ? length : read;
}

bool KeyDevice::WriteReport(KeyHandle handle, const uint8_t* report, uint16_t length) {
  if (platform().Write(handle, report, length) == length) return true;
  lastExchangeLinkLost = true;
  return false;
}

bool KeyDevice::AllocateChannel(KeyHandle readHandle, KeyHandle writeHandle, uint16_t inputLength,
                                uint16_t outputLength) {
  initFacts = KeyInitFacts();
  uint8_t nonce[CTAPHID_NONCE_LENGTH];
  std::random_device random;
  for (uint8_t& byte : nonce) byte = static_cast<uint8_t>(random());

  uint8_t report[KEY_REPORT_BUFFER_SIZE];
  CtaphidFillPacket(report, kBroadcastChannel, CTAPHID_INIT, nonce, sizeof nonce, 0);
  if (!WriteReport(writeHandle, report, outputLength)) return false;

  // Another program may be talking to the key too: only the INIT reply that
  // echoes our nonce is ours.
  const uint64_t deadline = clock_->NowMs() + KEY_READ_TIMEOUT_MS;
  for (;;) {
    const int read = ReadReport(readHandle, report, inputLength, deadline);
    if (read <= 0) return false;
    if (static_cast<size_t>(read) < 8 + CTAPHID_INIT_REPLY_LENGTH) continue;
    if (std::memcmp(report + 1, kBroadcastChannel, 4) != 0 || report[5] != CTAPHID_INIT) continue;
    const uint32_t length = (static_cast<uint32_t>(report[6]) << 8) | report[7];
    if (length < CTAPHID_INIT_REPLY_LENGTH || std::memcmp(report + 8, nonce, sizeof nonce) != 0) {
      continue;
    }
    const uint8_t* channel = report + 16;
    static const uint8_t kReserved[4] = {0, 0, 0, 0};
    if (std::memcmp(channel, kBroadcastChannel, 4) == 0 ||
        std::memcmp(channel, kReserved, 4) == 0) {
      return false;
    }
    std::memcpy(channelId, channel, 4);
    const uint8_t* facts = channel + 4;
    initFacts = {true, facts[0], facts[1], facts[2], facts[3], facts[4]};
    return true;
  }
}

int KeyDevice::Exchange(const uint8_t* request, int requestLength, uint8_t* reply,
                        uint32_t* replyLength, uint8_t command) {
  lastExchangeTimedOut = false;
  lastExchangeLinkLost = false;
  if (selected.readHandle == KEY_INVALID_HANDLE || selected.writeHandle == KEY_INVALID_HANDLE) {
    return -1;
  }
  if (request == nullptr || requestLength < 1 ||
      static_cast<size_t>(requestLength) > CTAPHID_MAX_MESSAGE || reply == nullptr ||
      replyLength == nullptr) {
    return -1;
  }
  const size_t length = static_cast<size_t>(requestLength);
  const int result = ExchangeOnSelected(request, length, reply, replyLength, command);
  if (observer_) {
    KeyExchangeOutcome outcome;
    outcome.command = command;
    outcome.request = request;
    outcome.requestLength = length;
    outcome.succeeded = result == 0;
    outcome.timedOut = result != 0 && lastExchangeTimedOut;
    outcome.linkLost = result != 0 && lastExchangeLinkLost;
    if (outcome.succeeded) {
      outcome.reply = reply;
      outcome.replyLength = *replyLength;
    }
    observer_(outcome);
  }
  return result;
}

int KeyDevice::ExchangeOnSelected(const uint8_t* request, size_t length, uint8_t* reply,
                                  uint32_t* replyLength, uint8_t command) {
  if (selected.card) return ExchangeOnCard(request, length, reply, replyLength, command);
  const KeyHandle readHandle = selected.readHandle;
  const KeyHandle writeHandle = selected.writeHandle;
  HidPlatform& hid = platform();

  Flush(hid, writeHandle);
  Flush(hid, readHandle);

  uint16_t inputLength = 0;
  uint16_t outputLength = 0;
  // Lengths that cannot be had any more: the interface is gone.
  if (!hid.GetReportLengths(writeHandle, &inputLength, &outputLength)) {
    lastExchangeLinkLost = true;
    return -1;
  }
  // Shorter reports cannot carry a packet; longer ones would not fit the
  // report buffer.
  if (!ReportLengthUsable(inputLength) || !ReportLengthUsable(outputLength)) return -1;

  if (needInit) {
    // Stays set when the allocation fails, so the next exchange tries again
    // rather than talk on a channel nobody gave us.
    if (!AllocateChannel(readHandle, writeHandle, inputLength, outputLength)) return -1;
    needInit = false;
  }

  uint8_t report[KEY_REPORT_BUFFER_SIZE];
  const size_t packets = CtaphidPacketCount(length);
  for (size_t index = 0; index < packets; ++index) {
    CtaphidFillPacket(report, channelId, command, request, length, index);
    if (!WriteReport(writeHandle, report, outputLength)) return -1;
  }

  CtaphidReassembler reassembler(channelId, reply, *replyLength);
  const uint64_t start = clock_->NowMs();
  uint64_t deadline = start + KEY_READ_TIMEOUT_MS;
  for (;;) {
    const int read = ReadReport(readHandle, report, inputLength, deadline);
    if (read <= 0) return -1;
    switch (reassembler.Feed(report, static_cast<size_t>(read))) {
      case CtaphidFeed::kSkipped:
        // Reports for other channels do not extend our wait.
        break;
      case CtaphidFeed::kKeepAlive: {
        const uint64_t now = clock_->NowMs();
        if (now - start > KEY_KEEPALIVE_LIMIT_MS) return -1;
        deadline = now + KEY_READ_TIMEOUT_MS;
        if (waitHook_) waitHook_();
        break;
      }
      case CtaphidFeed::kMore:
        deadline = clock_->NowMs() + KEY_READ_TIMEOUT_MS;
        break;
      case CtaphidFeed::kDone:
        *replyLength = reassembler.messageLength();
        return 0;
      case CtaphidFeed::kTooLong:
      case CtaphidFeed::kBroken:
        return -1;
    }
  }
}

bool KeyLastExchangeTimedOut() { return KeyDevice::Instance().lastExchangeTimedOut; }

bool KeyLastExchangeLinkLost() { return KeyDevice::Instance().lastExchangeLinkLost; }

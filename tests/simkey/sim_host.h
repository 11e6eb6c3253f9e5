// A host for tests that talks to the simulated key through raw HidPlatform
// calls, with CTAPHID packets built and taken apart by hand here.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "simkey/sim_platform.h"

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kBroadcast = 0xFFFFFFFF;

inline void PutChannel(uint32_t channel, Bytes& report) {
  for (int i = 0; i < 4; ++i) report[1 + i] = static_cast<uint8_t>(channel >> (24 - 8 * i));
}

inline uint32_t ChannelOf(const Bytes& report) {
  return (uint32_t{report[1]} << 24) | (uint32_t{report[2]} << 16) | (uint32_t{report[3]} << 8) |
         report[4];
}

inline Bytes Counting(size_t length, uint8_t first = 1) {
  Bytes bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(first + i);
  return bytes;
}

// One reply message as reassembled by the host.
struct HostReply {
  bool complete = false;
  uint8_t command = 0;
  Bytes payload;
  int keepAlives = 0;
};

class SimHost {
 public:
  explicit SimHost(SimKeyPlatform& platform, size_t deviceIndex = 0) : platform_(platform) {
    const std::string path = platform.device(deviceIndex).config().path;
    write_ = platform.Open(path, HidAccess::kWrite, nullptr);
    read_ = platform.Open(path, HidAccess::kRead, nullptr);
  }

  KeyHandle readHandle() const { return read_; }
  KeyHandle writeHandle() const { return write_; }

  int WriteReport(const Bytes& report) {
    return platform_.Write(write_, report.data(), report.size());
  }

  // An initialisation packet announcing `length` with the first bytes of
  // `data`, and the continuation packets 0, 1, ... for the rest.
  static std::vector<Bytes> Frame(uint32_t channel, uint8_t command, const Bytes& data,
                                  size_t length) {
    std::vector<Bytes> reports;
    Bytes first(65, 0);
    PutChannel(channel, first);
    first[5] = command;
    first[6] = static_cast<uint8_t>(length >> 8);
    first[7] = static_cast<uint8_t>(length);
    size_t sent = 0;
    for (; sent < data.size() && sent < 57; ++sent) first[8 + sent] = data[sent];
    reports.push_back(first);
    for (uint8_t sequence = 0; sent < data.size(); ++sequence) {
      Bytes next(65, 0);
      PutChannel(channel, next);
      next[5] = sequence;
      for (size_t i = 0; i < 59 && sent < data.size(); ++i) next[6 + i] = data[sent++];
      reports.push_back(next);
    }
    return reports;
  }

  void Send(uint32_t channel, uint8_t command, const Bytes& data) {
    for (const Bytes& report : Frame(channel, command, data, data.size())) {
      ASSERT_EQ(WriteReport(report), 65);
    }
  }

  // Reads one report; empty when none came.
  Bytes ReadReport(int timeoutMs = 100) {
    Bytes report(200, 0);
    const int stored = platform_.Read(read_, report.data(), report.size(), timeoutMs);
    report.resize(stored > 0 ? static_cast<size_t>(stored) : 0);
    return report;
  }

  // Every report until the key falls silent (at most `limit`).
  std::vector<Bytes> Drain(size_t limit = 400) {
    std::vector<Bytes> reports;
    while (reports.size() < limit) {
      Bytes report = ReadReport();
      if (report.empty()) break;
      reports.push_back(std::move(report));
    }
    return reports;
  }

  // Reassembles the next reply on `channel`, skipping keep-alives.
  HostReply Receive(uint32_t channel) {
    HostReply reply;
    bool started = false;
    size_t length = 0;
    uint8_t sequence = 0;
    for (int reads = 0; reads < 1000; ++reads) {
      const Bytes report = ReadReport();
      if (report.size() < 65) return reply;
      if (ChannelOf(report) != channel) continue;
      if (!started) {
        if ((report[5] & 0x80) == 0) continue;
        if (report[5] == 0xBB) {
          ++reply.keepAlives;
          continue;
        }
        started = true;
        reply.command = report[5];
        length = size_t{report[6]} << 8 | report[7];
        const size_t chunk = std::min<size_t>(length, 57);
        reply.payload.assign(report.begin() + 8, report.begin() + 8 + chunk);
      } else {
        if (report[5] != sequence++) return reply;
        const size_t chunk = std::min<size_t>(length - reply.payload.size(), 59);
        reply.payload.insert(reply.payload.end(), report.begin() + 6, report.begin() + 6 + chunk);
      }
      if (reply.payload.size() == length) {
        reply.complete = true;
        return reply;
      }
    }
    return reply;
  }

  // Allocates a channel through INIT on the broadcast channel.
  uint32_t Allocate() {
    const Bytes nonce = {1, 2, 3, 4, 5, 6, 7, 8};
    Send(kBroadcast, 0x86, nonce);
    const HostReply reply = Receive(kBroadcast);
    if (!reply.complete || reply.payload.size() < 12) return 0;
    return (uint32_t{reply.payload[8]} << 24) | (uint32_t{reply.payload[9]} << 16) |
           (uint32_t{reply.payload[10]} << 8) | reply.payload[11];
  }

  HostReply Exchange(uint32_t channel, uint8_t command, const Bytes& data) {
    Send(channel, command, data);
    return Receive(channel);
  }

 private:
  SimKeyPlatform& platform_;
  KeyHandle read_ = KEY_INVALID_HANDLE;
  KeyHandle write_ = KEY_INVALID_HANDLE;
};

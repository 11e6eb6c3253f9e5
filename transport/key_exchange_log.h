// What the transport exchanged with the selected key over a stretch of work
// (one refresh), kept so that a record of the key can be written from exactly
// what the key was asked and what it said, without asking anything twice.
#pragma once

#include <cstdint>
#include <vector>

#include "transport/key_device_info.h"
#include "transport/key_init_facts.h"

struct KeyLoggedExchange {
  enum class Outcome {
    kReply,     // the whole reply came back
    kTimedOut,  // nothing, or not all of the reply, came back in time
    kFailed,    // any other failure (a reply that could not be reassembled, say)
  };
  uint8_t command = 0;
  std::vector<uint8_t> request;
  Outcome outcome = Outcome::kFailed;
  std::vector<uint8_t> reply;  // kReply only
};

// Observes the transport's exchanges from construction until Stop() (or its
// end). Only one log observes at a time: a later one replaces the earlier.
class KeyExchangeLog {
 public:
  KeyExchangeLog();
  ~KeyExchangeLog();
  KeyExchangeLog(const KeyExchangeLog&) = delete;
  KeyExchangeLog& operator=(const KeyExchangeLog&) = delete;

  // Ends the observation and takes what the transport knows of the selected
  // key at this point: its record, its INIT facts and its report lengths.
  void Stop();

  const std::vector<KeyLoggedExchange>& exchanges() const { return exchanges_; }
  const KeyDeviceInfo& device() const { return device_; }
  const KeyInitFacts& initFacts() const { return initFacts_; }
  // Report lengths including the report id byte; 0 when they could not be read.
  uint16_t inputReportLength() const { return inputReportLength_; }
  uint16_t outputReportLength() const { return outputReportLength_; }

 private:
  bool observing_ = true;
  std::vector<KeyLoggedExchange> exchanges_;
  KeyDeviceInfo device_;
  KeyInitFacts initFacts_;
  uint16_t inputReportLength_ = 0;
  uint16_t outputReportLength_ = 0;
};

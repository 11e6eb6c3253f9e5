// What one simulated HID interface is and how it answers. The defaults are
// the default key: a FIDO interface of vendor 096E that answers every query
// of a refresh through its built-in behaviour.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// One APDU answer: a request equal to `request` (or, with `prefix`, starting
// with it) gets `reply`, data and status word.
struct SimApduRule {
  std::vector<uint8_t> request;
  bool prefix = false;
  std::vector<uint8_t> reply;
};

// Faults of a misbehaving key. Each switch applies to every request that
// arrives while it is set. The channel allocation (INIT) is answered normally
// unless a switch names it (silentInit, initWrongNonceFirst).
struct SimMisbehaviour {
  bool keepAliveForever = false;     // only keep-alives, each 100 ms of simulated time
  bool truncatedReply = false;       // the initialisation packet alone, then silence
  uint32_t zeroLengthReports = 0;    // packets announcing length 0 before each reply
  uint32_t oversizeReply = 0;        // the reply padded with zeros to this length
  bool silent = false;               // no reply to any request but INIT
  bool silentInit = false;           // no reply to INIT either
  bool otherChannelReply = false;    // the reply on a channel not ours, then silence
  uint32_t foreignReportsFirst = 0;  // short replies on another channel first
  bool initWrongNonceFirst = false;  // INIT answered once with a wrong nonce first
  uint8_t ctaphidError = 0;          // MSG and CBOR answered with this CTAPHID error
  bool badSequence = false;          // reply continuation packets numbered from 1
  bool writeFails = false;           // Write answers -1
  bool readFails = false;            // Read answers -1
};

struct SimDeviceConfig {
  std::string path;  // "simkey:N" (N counts AddDevice calls) when empty
  uint16_t vendorId = 0x096E;
  uint16_t productId = 0x0858;
  uint16_t release = 0x0100;
  std::string product = "Simulated Key";
  uint16_t usagePage = 0xF1D0;
  uint16_t usage = 0x0001;
  // Report lengths including the report id byte. Reports are written and read
  // with exactly these lengths; the CTAPHID packet is always report bytes 1..64.
  uint16_t inputReportLength = 65;
  uint16_t outputReportLength = 65;
  std::string pin;                               // empty: the key has no PIN
  bool builtin = true;                           // unlisted requests get the default key's answers
  std::vector<SimApduRule> apdu;                 // tried in order, first match answers
  std::map<uint8_t, std::vector<uint8_t>> cbor;  // CTAP command -> status byte and CBOR
  uint32_t touchDelayMs = 0;                     // simulated time a touch takes
  std::vector<uint8_t> touchCommands = {0x01};   // CTAP commands that wait for it
  int openError = 0;                             // an errno value that Open fails with, 0 = opens
  SimMisbehaviour misbehave;
};

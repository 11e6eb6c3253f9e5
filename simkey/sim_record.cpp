#include "simkey/sim_record.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>

#include "transport/ctaphid.h"

namespace {

SimAnswer AnswerOf(const KeyLoggedExchange& exchange) {
  SimAnswer answer;
  switch (exchange.outcome) {
    case KeyLoggedExchange::Outcome::kReply:
      answer.kind = SimAnswer::Kind::kReply;
      answer.reply = exchange.reply;
      break;
    case KeyLoggedExchange::Outcome::kTimedOut:
      answer.kind = SimAnswer::Kind::kSilent;
      break;
    case KeyLoggedExchange::Outcome::kFailed:
      answer.kind = SimAnswer::Kind::kBroken;
      break;
  }
  return answer;
}

bool SameAnswer(const SimAnswer& a, const SimAnswer& b) {
  return a.kind == b.kind && a.reply == b.reply;
}

constexpr uint8_t kCtapMakeCredential = 0x01;
constexpr uint8_t kU2fRegister = 0x01;

// What a rule matches for a recorded request: the request itself, except
// for the requests that carry the host's fresh challenge, which never come
// again alike: a makeCredential by its command byte, a U2F REGISTER by its
// head before the parameters (the extended and the short form apart).
struct RuleKey {
  std::vector<uint8_t> request;
  bool prefix = false;
};

RuleKey KeyOf(const KeyLoggedExchange& exchange) {
  const std::vector<uint8_t>& request = exchange.request;
  if (exchange.command == CTAPHID_CBOR && !request.empty() && request[0] == kCtapMakeCredential) {
    return {{kCtapMakeCredential}, false};
  }
  if (exchange.command == CTAPHID_MSG && request.size() >= 5 && request[0] == 0x00 &&
      request[1] == kU2fRegister) {
    const size_t head = request[4] == 0x00 && request.size() >= 7 ? 7 : 5;
    return {{request.begin(), request.begin() + static_cast<std::ptrdiff_t>(head)}, true};
  }
  return {request, false};
}

// A request asked again gets its next answer in turn; the list is cut to one
// when every answer was the same, which replays alike.
template <typename Rule>
void AddAnswer(std::vector<Rule>& rules, const KeyLoggedExchange& exchange) {
  RuleKey key = KeyOf(exchange);
  auto rule = std::find_if(rules.begin(), rules.end(), [&](const Rule& candidate) {
    return candidate.prefix == key.prefix && candidate.request == key.request;
  });
  if (rule == rules.end()) {
    rules.emplace_back();
    rule = rules.end() - 1;
    rule->request = std::move(key.request);
    rule->prefix = key.prefix;
  }
  rule->answers.push_back(AnswerOf(exchange));
}

template <typename Rule>
void FoldRepeatedAnswers(std::vector<Rule>& rules) {
  for (Rule& rule : rules) {
    const bool allSame =
        std::all_of(rule.answers.begin(), rule.answers.end(),
                    [&](const SimAnswer& a) { return SameAnswer(a, rule.answers[0]); });
    if (allSame) rule.answers.resize(1);
  }
}

}  // namespace

SimDeviceConfig SimRecordedDevice(const KeyExchangeLog& log) {
  return SimRecordedDevice(log.device(), log.initFacts(), log.inputReportLength(),
                           log.outputReportLength(), log.exchanges());
}

SimDeviceConfig SimRecordedDevice(const KeyDeviceInfo& device, const KeyInitFacts& facts,
                                  uint16_t inputReportLength, uint16_t outputReportLength,
                                  const std::vector<KeyLoggedExchange>& exchanges) {
  SimDeviceConfig config;
  config.path = device.path;
  config.vendorId = static_cast<uint16_t>(device.vendorId);
  config.productId = static_cast<uint16_t>(device.productId);
  config.release = static_cast<uint16_t>(std::strtoul(device.version.c_str(), nullptr, 16));
  config.product = device.productName;
  config.usagePage = device.usagePage;
  config.usage = device.usage;
  // Lengths past what a profile takes fail the exchange as surely as the
  // key's own did.
  if (inputReportLength != 0) {
    config.inputReportLength = std::min(inputReportLength, SIMKEY_REPORT_LENGTH_MAX);
  }
  if (outputReportLength != 0) {
    config.outputReportLength = std::min(outputReportLength, SIMKEY_REPORT_LENGTH_MAX);
  }
  config.builtin = false;
  config.named = true;

  if (facts.known) {
    config.ctaphidProtocol = facts.protocolVersion;
    config.deviceVersion = {facts.majorVersion, facts.minorVersion, facts.buildVersion};
    config.capabilities = facts.capabilities;
  } else if (!exchanges.empty()) {
    // No channel was ever had, so every exchange failed at the allocation:
    // in the same way as the first one did.
    if (exchanges.front().outcome == KeyLoggedExchange::Outcome::kTimedOut) {
      config.misbehave.silentInit = true;
    } else {
      config.misbehave.readFails = true;
    }
  }

  for (const KeyLoggedExchange& exchange : exchanges) {
    if (exchange.command == CTAPHID_MSG) {
      AddAnswer(config.apdu, exchange);
    } else if (exchange.command == CTAPHID_CBOR) {
      AddAnswer(config.cborRules, exchange);
    }
  }
  FoldRepeatedAnswers(config.apdu);
  FoldRepeatedAnswers(config.cborRules);
  return config;
}

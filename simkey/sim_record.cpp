#include "simkey/sim_record.h"

#include <algorithm>
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

// A request asked again gets its next answer in turn; the list is cut to one
// when every answer was the same, which replays alike.
template <typename Rule>
void AddAnswer(std::vector<Rule>& rules, const KeyLoggedExchange& exchange) {
  auto rule = std::find_if(rules.begin(), rules.end(), [&](const Rule& candidate) {
    return !candidate.prefix && candidate.request == exchange.request;
  });
  if (rule == rules.end()) {
    rules.emplace_back();
    rule = rules.end() - 1;
    rule->request = exchange.request;
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

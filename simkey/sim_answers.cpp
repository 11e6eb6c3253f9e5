#include "simkey/sim_answers.h"

#include <algorithm>

namespace {

bool StartsWith(const std::vector<uint8_t>& request, const std::vector<uint8_t>& start) {
  return request.size() >= start.size() && std::equal(start.begin(), start.end(), request.begin());
}

bool Matches(const SimApduRule& rule, const std::vector<uint8_t>& apdu) {
  return rule.prefix ? StartsWith(apdu, rule.request) : apdu == rule.request;
}

// A bare command byte matches every request with that command byte.
bool Matches(const SimCborRule& rule, const std::vector<uint8_t>& request) {
  if (rule.prefix || rule.request.size() == 1) return StartsWith(request, rule.request);
  return request == rule.request;
}

// How well a matching key fits: longer first, then the whole request.
struct Fit {
  size_t length = 0;
  bool whole = false;

  bool Beats(const Fit& other) const {
    return length != other.length ? length > other.length : whole && !other.whole;
  }
};

SimAnswer Reply(std::vector<uint8_t> bytes) { return {SimAnswer::Kind::kReply, std::move(bytes)}; }

}  // namespace

void SimAnswers::RestartTurns() {
  apduTurns_.clear();
  cborTurns_.clear();
}

SimAnswer SimAnswers::Take(const std::vector<SimAnswer>& answers, size_t& turn) {
  if (answers.empty()) return {};
  const size_t index = std::min(turn, answers.size() - 1);
  if (turn < answers.size()) ++turn;
  return answers[index];
}

SimAnswer SimAnswers::AnswerApdu(const SimDeviceConfig& config, const std::vector<uint8_t>& apdu) {
  for (size_t i = 0; i < config.apdu.size(); ++i) {
    if (!Matches(config.apdu[i], apdu)) continue;
    SimAnswer answer = Take(config.apdu[i].answers, apduTurns_[i]);
    if (answer.kind == SimAnswer::Kind::kReply) builtin_.NoteAnswer(apdu, answer.reply);
    return answer;
  }
  if (config.builtin) return Reply(builtin_.AnswerApdu(apdu, config));
  return Reply({0x6D, 0x00});  // instruction not supported
}

SimAnswer SimAnswers::AnswerCbor(const SimDeviceConfig& config, const std::vector<uint8_t>& request,
                                 bool* refused) {
  if (refused != nullptr) *refused = false;
  if (request.empty()) return Reply({0x03});  // invalid length

  const SimCborRule* bestRule = nullptr;
  size_t bestIndex = 0;
  Fit best;
  for (size_t i = 0; i < config.cborRules.size(); ++i) {
    const SimCborRule& rule = config.cborRules[i];
    if (!Matches(rule, request)) continue;
    const Fit fit{rule.request.size(), !rule.prefix && rule.request == request};
    if (bestRule == nullptr || fit.Beats(best)) {
      bestRule = &rule;
      bestIndex = i;
      best = fit;
    }
  }
  const auto listed = config.cbor.find(request[0]);
  if (listed != config.cbor.end()) {
    const Fit fit{1, request.size() == 1};
    if (bestRule == nullptr || fit.Beats(best)) return Reply(listed->second);
  }
  if (bestRule != nullptr) return Take(bestRule->answers, cborTurns_[bestIndex]);

  if (config.builtin) {
    std::vector<uint8_t> answer = builtin_.AnswerCbor(request, config);
    if (refused != nullptr) *refused = answer.empty() || answer[0] != 0x00;
    return Reply(std::move(answer));
  }
  return Reply({0x01});  // invalid command
}

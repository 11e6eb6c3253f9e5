#include "simkey/sim_answers.h"

#include <algorithm>

namespace {

bool Matches(const SimApduRule& rule, const std::vector<uint8_t>& apdu) {
  if (rule.prefix) {
    return apdu.size() >= rule.request.size() &&
           std::equal(rule.request.begin(), rule.request.end(), apdu.begin());
  }
  return apdu == rule.request;
}

}  // namespace

std::vector<uint8_t> SimAnswers::AnswerApdu(const SimDeviceConfig& config,
                                            const std::vector<uint8_t>& apdu) {
  for (const SimApduRule& rule : config.apdu) {
    if (Matches(rule, apdu)) {
      builtin_.NoteAnswer(apdu, rule.reply);
      return rule.reply;
    }
  }
  if (config.builtin) return builtin_.AnswerApdu(apdu, config);
  return {0x6D, 0x00};  // instruction not supported
}

std::vector<uint8_t> SimAnswers::AnswerCbor(const SimDeviceConfig& config,
                                            const std::vector<uint8_t>& request, bool* refused) {
  if (refused != nullptr) *refused = false;
  if (request.empty()) return {0x03};  // invalid length
  const auto listed = config.cbor.find(request[0]);
  if (listed != config.cbor.end()) return listed->second;
  if (config.builtin) {
    std::vector<uint8_t> answer = builtin_.AnswerCbor(request, config);
    if (refused != nullptr) *refused = answer.empty() || answer[0] != 0x00;
    return answer;
  }
  return {0x01};  // invalid command
}

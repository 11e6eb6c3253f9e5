#include "transport/key_exchange_log.h"

#include "transport/key_device.h"

KeyExchangeLog::KeyExchangeLog() {
  KeyDevice::Instance().SetExchangeObserver([this](const KeyExchangeOutcome& ended) {
    KeyLoggedExchange logged;
    logged.command = ended.command;
    logged.request.assign(ended.request, ended.request + ended.requestLength);
    if (ended.succeeded) {
      logged.outcome = KeyLoggedExchange::Outcome::kReply;
      logged.reply.assign(ended.reply, ended.reply + ended.replyLength);
    } else {
      logged.outcome = ended.timedOut ? KeyLoggedExchange::Outcome::kTimedOut
                                      : KeyLoggedExchange::Outcome::kFailed;
    }
    exchanges_.push_back(std::move(logged));
  });
}

KeyExchangeLog::~KeyExchangeLog() {
  if (observing_) KeyDevice::Instance().SetExchangeObserver(nullptr);
}

void KeyExchangeLog::Stop() {
  if (!observing_) return;
  observing_ = false;
  KeyDevice& key = KeyDevice::Instance();
  key.SetExchangeObserver(nullptr);
  device_ = key.selected;
  initFacts_ = key.initFacts;
  if (!device_.IsEmpty() && !device_.card &&
      !key.platform().GetReportLengths(device_.writeHandle, &inputReportLength_,
                                       &outputReportLength_)) {
    inputReportLength_ = 0;
    outputReportLength_ = 0;
  }
}

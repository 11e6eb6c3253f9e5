#include "app/watch_station.h"

#include <algorithm>
#include <ostream>
#include <vector>

#include "app/access_message.h"
#include "app/card_readers.h"
#include "app/command_line.h"
#include "app/device_change.h"
#include "app/policy_run.h"
#include "attestation/tab_state.h"
#include "keyinfo/device_state.h"
#include "transport/card_session.h"
#include "transport/key_device.h"

namespace {

// As the window waits after an arrival.
constexpr uint32_t ARRIVAL_WAIT_MS = 1000;

}  // namespace

WatchStation::WatchStation(const Policy& policy, const MdsBlob& blob, const WallClock& clock,
                           std::string inventory, UserPrompt& prompt, std::ostream& out,
                           std::ostream& err)
    : policy_(policy),
      blob_(blob),
      clock_(clock),
      inventory_(std::move(inventory)),
      prompt_(prompt),
      out_(out),
      err_(err) {}

void WatchStation::OnDeviceEvent(uint32_t eventType) {
  if (eventType == DBT_DEVICEARRIVAL) KeyDevice::Instance().clock().SleepMs(ARRIVAL_WAIT_MS);
  Scan();
}

void WatchStation::Scan() {
  KeyDevice& key = KeyDevice::Instance();
  std::vector<HidInterface> interfaces;
  if (!key.platform().Enumerate(interfaces)) return;
  std::set<std::string> now;
  for (const HidInterface& facts : interfaces) {
    if (key.Keeps(facts)) now.insert(facts.path);
  }
  // Cards that answer as FIDO keys; other cards on readers are no keys.
  std::vector<CardListEntry> cards;
  if (key.cardPlatform() != nullptr && ListCardReaders(*key.cardPlatform(), cards) == CARD_OK) {
    for (const CardListEntry& card : cards) {
      if (!card.applet.empty()) now.insert(CardKeyPath(card.reader.name));
    }
  }
  const std::set<std::string> before = std::move(present_);
  present_ = now;
  for (const std::string& path : now) {
    if (before.count(path) == 0) Check(path);
  }
}

void WatchStation::Check(const std::string& path) {
  KeyDevice& key = KeyDevice::Instance();
  QuillmarkModel model;
  GetDeviceStateOfPath(model, path);
  if (model.infoList.RowCount() == 0) {
    const std::vector<std::string>& denied = key.deniedPaths;
    const bool refused = std::find(denied.begin(), denied.end(), path) != denied.end();
    err_ << "quillmark: "
         << (refused ? AccessProblemMessage(denied) : path + " was gone before it could be checked")
         << "\n";
    return;
  }
  bool touchSaid = false;
  key.SetWaitHook([&] {
    if (touchSaid) return;
    touchSaid = true;
    err_ << "Touch the key at " << path << " to let it answer...\n" << std::flush;
  });
  const int64_t now = clock_.NowUnixSeconds();
  const KeyCheck check =
      CheckRefreshedKey(model, policy_, blob_, now, prompt_, KeyTransportClock());
  key.SetWaitHook(nullptr);
  DeleteAllCertificateFiles(model);
  ++checked_;
  if (check.result.passed) ++passed_;
  out_ << CheckedKeyIdentity(check) << ": " << PolicyResultLine(check.result) << std::endl;
  if (model.keyDidNotAnswer) err_ << "quillmark: " << KeyStoppedText(model) << "\n";
  if (inventory_.empty()) return;
  if (const std::string problem = AppendKeyCheck(inventory_, check, now); !problem.empty()) {
    err_ << "quillmark: " << problem << "\n";
    inventoryFailed_ = true;
  }
}

std::string WatchStation::SummaryLine() const {
  return std::to_string(checked_) + " checked, " + std::to_string(passed_) + " passed, " +
         std::to_string(checked_ - passed_) + " failed";
}

int WatchStation::ExitStatus() const {
  if (inventoryFailed_) return EXIT_INVENTORY_FAILED;
  return passed_ == checked_ ? 0 : EXIT_POLICY_FAILED;
}

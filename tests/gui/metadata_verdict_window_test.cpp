// One table of simulated keys against forged metadata: each key is fetched
// from the window, and the verdict of the "Metadata" page and the window's
// status line must agree.
#include "gui_test_support.h"
#include "simkey/sim_attestation.h"
#include "simkey/sim_default_key.h"
#include "tests/metadata/mds_test_pki.h"

#include <QAction>
#include <QLabel>
#include <QtTest>
#include <algorithm>
#include <memory>

#include "app/quillmark_dlg.h"
#include "keyinfo/metadata_rows.h"
#include "metadata/attestation_identity.h"
#include "metadata/attestation_verdict.h"

namespace {

using Json = nlohmann::json;

const char kClaimedAaguid[] = "cb69481e8ff7403993ec0a2729a154a8";

class YesPrompt : public RecordingPrompt {
 public:
  bool Confirm(const std::string& text) override {
    messages.push_back(text);
    return true;
  }
};

Json Reports(std::initializer_list<std::pair<const char*, const char*>> statusAndDate) {
  Json reports = Json::array();
  for (const auto& [status, date] : statusAndDate) {
    reports.push_back({{"status", status}, {"effectiveDate", date}});
  }
  return reports;
}

Json SimEntry(const Json& reports) {
  return SimulatedModelEntry(SimAttestation().chain[SIMKEY_CHAIN_ROOT], reports);
}

// A second model of the same maker, under the same root.
Json ClaimedEntry() {
  Json entry = SimEntry(Reports({{"FIDO_CERTIFIED_L1", "2024-02-01"}}));
  entry["aaguid"] = kClaimedAaguid;
  entry["metadataStatement"]["description"] = "Claimed Model";
  entry["metadataStatement"].erase("authenticatorGetInfo");
  return entry;
}

// The default key's GetInfo with the claimed model's AAGUID.
std::vector<uint8_t> ClaimingGetInfo() {
  std::vector<uint8_t> getInfo = SimDefaultGetInfo(false);
  const auto at = std::search(getInfo.begin(), getInfo.end(), std::begin(SIMKEY_DEFAULT_AAGUID),
                              std::end(SIMKEY_DEFAULT_AAGUID));
  std::vector<uint8_t> claimed;
  for (size_t i = 0; i < 32; i += 2) {
    claimed.push_back(
        static_cast<uint8_t>(std::stoi(std::string(kClaimedAaguid + i, 2), nullptr, 16)));
  }
  if (at != getInfo.end()) std::copy(claimed.begin(), claimed.end(), at);
  getInfo.insert(getInfo.begin(), 0x00);  // the status byte
  return getInfo;
}

struct Case {
  const char* name;
  std::function<void(SimDeviceConfig&)> key;
  Json entries;
  bool u2f;
  int64_t now;
  const char* verdict;
  const char* reason;  // a part of the row
};

std::string VerdictRow(const QuillmarkModel& model) {
  for (size_t page = 0; page < model.Pages().size(); ++page) {
    const ReportList& list = model.PageList(page);
    if (model.Pages()[page].caption != "Metadata" || list.RowCount() == 0) continue;
    return list.Cell(list.RowCount() - 1, 1);
  }
  return {};
}

}  // namespace

class MetadataVerdictWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { QSettings(QSettings::UserScope, "Microsoft", "Quillmark").clear(); }

  void VerdictAndStatusLineAgree() {
    static TestMdsWorld world;
    const Json certified = Reports({{"FIDO_CERTIFIED_L1", "2024-02-01"}});
    const auto none = [](SimDeviceConfig&) {};
    const Case cases[] = {
        {"genuine",
         none,
         {SimEntry(certified)},
         false,
         TEST_NOW,
         VERDICT_GENUINE,
         "chains to Simulated Key Maker Root CA"},
        {"wrong signature",
         [](SimDeviceConfig& c) { c.attestation.wrongSignature = true; },
         {SimEntry(certified)},
         false,
         TEST_NOW,
         VERDICT_NOT_GENUINE,
         "did not sign"},
        {"U2F wrong signature",
         [](SimDeviceConfig& c) { c.u2f.wrongSignature = true; },
         {SimEntry(certified)},
         true,
         TEST_NOW,
         VERDICT_NOT_GENUINE,
         "did not sign"},
        {"claims another model of the maker",
         [](SimDeviceConfig& c) { c.cbor[0x04] = ClaimingGetInfo(); },
         {SimEntry(certified), ClaimedEntry()},
         false,
         TEST_NOW,
         VERDICT_NOT_GENUINE,
         "claims Claimed Model but its certificate is Simulated Key Model's"},
        {"revoked",
         none,
         {SimEntry(Reports({{"REVOKED", "2024-05-02"}}))},
         false,
         TEST_NOW,
         VERDICT_CANNOT_BE_TRUSTED,
         "REVOKED since 2024-05-02"},
        {"attestation key compromise",
         none,
         {SimEntry(Reports({{"ATTESTATION_KEY_COMPROMISE", "2024-05-02"}}))},
         false,
         TEST_NOW,
         VERDICT_CANNOT_BE_TRUSTED,
         "ATTESTATION_KEY_COMPROMISE"},
        {"UV bypass",
         none,
         {SimEntry(Reports({{"USER_VERIFICATION_BYPASS", "2024-05-02"}}))},
         false,
         TEST_NOW,
         VERDICT_CANNOT_BE_TRUSTED,
         "USER_VERIFICATION_BYPASS"},
        {"remote compromise",
         none,
         {SimEntry(Reports({{"USER_KEY_REMOTE_COMPROMISE", "2024-05-02"}}))},
         false,
         TEST_NOW,
         VERDICT_CANNOT_BE_TRUSTED,
         "USER_KEY_REMOTE_COMPROMISE"},
        {"physical compromise",
         none,
         {SimEntry(Reports({{"USER_KEY_PHYSICAL_COMPROMISE", "2024-05-02"}}))},
         false,
         TEST_NOW,
         VERDICT_CANNOT_BE_TRUSTED,
         "USER_KEY_PHYSICAL_COMPROMISE"},
        {"same day, certified first",
         none,
         {SimEntry(Reports({{"FIDO_CERTIFIED_L1", "2024-05-02"}, {"REVOKED", "2024-05-02"}}))},
         false,
         TEST_NOW,
         VERDICT_CANNOT_BE_TRUSTED,
         "REVOKED"},
        {"same day, revoked first",
         none,
         {SimEntry(Reports({{"REVOKED", "2024-05-02"}, {"FIDO_CERTIFIED_L1", "2024-05-02"}}))},
         false,
         TEST_NOW,
         VERDICT_CANNOT_BE_TRUSTED,
         "REVOKED"},
        {"listed twice",
         none,
         {SimEntry(certified), SimEntry(Reports({{"REVOKED", "2024-05-02"}}))},
         false,
         TEST_NOW,
         VERDICT_CANNOT_BE_TRUSTED,
         "REVOKED"},
        {"expired metadata signer",
         none,
         {SimEntry(certified)},
         false,
         UnixSecondsOf(2026, 2, 1),
         VERDICT_CANNOT_BE_VERIFIED,
         "expired on 2025-12-31"},
        {"missing intermediate",
         [](SimDeviceConfig& c) { c.attestation.certificates = 1; },
         {SimEntry(certified)},
         false,
         TEST_NOW,
         VERDICT_CANNOT_BE_VERIFIED,
         "intermediate certificate may be missing"},
        {"U2F leaf without its intermediate",
         none,
         {SimEntry(certified)},
         true,
         TEST_NOW,
         VERDICT_CANNOT_BE_VERIFIED,
         "intermediate certificate may be missing"},
    };
    const std::string root = WriteTestFile("root.pem", world.RootPem());
    for (const Case& c : cases) {
      SimKeyScope key;
      SimDeviceConfig config;
      c.key(config);
      key.platform.AddDevice(config);
      FakeSettings settings;
      RecordingOpener opener;
      YesPrompt prompt;
      FixedWallClock clock(c.now);
      const std::string blob =
          WriteTestFile("verdict.jwt", world.Blob(TestPayload(c.entries), JwsAlgorithm::kEs256));
      QuillmarkDlgServices services;
      services.settings = &settings;
      services.opener = &opener;
      services.prompt = &prompt;
      services.clock = &key.platform.clock();
      services.metadata.clock = &clock;
      services.metadata.options.roots = {root};
      services.metadata.chooseFile = [blob](QWidget*) { return blob; };
      CQuillmarkDlg dialog(services);
      dialog.metadata().openAction()->trigger();
      if (c.u2f) {
        dialog.OnDblClkU2fList(0);
      } else {
        dialog.OnDblClkFido2List(0);
      }
      const std::string verdict = MetadataVerdictOfKey(dialog.model());
      const std::string row = VerdictRow(dialog.model());
      QVERIFY2(verdict == c.verdict && row.find(c.reason) != std::string::npos,
               (std::string(c.name) + ": " + row).c_str());
      const QString line = dialog.statusLine()->text();
      const QString expected = verdict == VERDICT_NOT_GENUINE ? METADATA_NOT_GENUINE_STATUS_TEXT
                               : verdict == VERDICT_CANNOT_BE_TRUSTED ? METADATA_WARNING_STATUS_TEXT
                                                                      : "";
      QVERIFY2(line == expected, c.name);
    }
  }
};

QTEST_MAIN(MetadataVerdictWindowTest)
#include "metadata_verdict_window_test.moc"

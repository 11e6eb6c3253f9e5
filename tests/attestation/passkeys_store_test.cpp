// The passkeys reading end to end: the real transport, framing and readers
// against the simulated key's own store, token and permissions.
#include <mbedtls/sha256.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "attestation/passkeys_read.h"
#include "passkeys_sim.h"

namespace {

using Mutate = std::function<void(SimDeviceConfig&)>;

const std::string kTips = std::string("|Tips=") + PASSKEYS_TIPS_TEXT;

SimStoredCredential Cred(const char* rpId, uint8_t user, uint32_t credProtect = 0,
                         bool largeBlobKey = false, bool payment = false) {
  SimStoredCredential c;
  c.rpId = rpId;
  c.userId = {user};
  c.userName = "u" + std::to_string(user);
  c.credentialId = {static_cast<uint8_t>(0xC0 + user)};
  c.credProtect = credProtect;
  c.largeBlobKey = largeBlobKey;
  c.thirdPartyPayment = payment;
  return c;
}

// The rows of Cred(.., user) without the optional ones.
std::string UserRows(int user) {
  const std::string n = std::to_string(user);
  return "|User=u" + n + "|User id=0" + n + "|Credential id=c" + n;
}

// Two entries of 700 bytes each and the digest, `wrong` flipping its last bit.
std::vector<uint8_t> LargeBlobArray(bool wrong) {
  std::vector<uint8_t> array = {0x82};
  for (int entry = 0; entry < 2; ++entry) {
    const std::vector<uint8_t> map = {0xA3, 0x01, 0x59, 0x02, 0xBC};
    array.insert(array.end(), map.begin(), map.end());
    array.insert(array.end(), 700, static_cast<uint8_t>(entry));
    array.insert(array.end(), {0x02, 0x4C});
    array.insert(array.end(), 12, 0xEE);
    array.insert(array.end(), {0x03, 0x19, 0x02, 0xBC});
  }
  uint8_t digest[32];
  mbedtls_sha256_ret(array.data(), array.size(), digest, 0);
  array.insert(array.end(), digest, digest + 16);
  if (wrong) array.back() ^= 1;
  return array;
}

// A key with LargeBlobArray(wrong), announcing `maxArray` as its bound.
Mutate LargeBlobs(uint32_t maxArray, bool wrong) {
  return [=](SimDeviceConfig& c) {
    c.getInfo.options["largeBlobs"] = true;
    c.getInfo.maxMsgSize = 1024;
    c.getInfo.maxSerializedLargeBlobArray = maxArray;
    c.largeBlobArray = LargeBlobArray(wrong);
  };
}

// Requests that would change the key: anything but GetInfo, the PIN's
// reading subcommands, credential management 1-5, bio enrollment's sensor
// info and enumeration, and large-blob gets.
std::string ChangingRequests(const SimDevice& device) {
  std::string found;
  for (const SimDevice::Message& message : device.receivedMessages) {
    if (message.command != CTAPHID_CBOR || message.payload.empty()) continue;
    const uint8_t command = message.payload[0];
    const CborView map(message.payload.data() + 1,
                       static_cast<uint32_t>(message.payload.size() - 1));
    uint32_t sub = 0;
    bool allowed = command == 0x04;
    if (command == 0x06) {
      allowed =
          map.FindIntKey(2).GetUnsigned(sub) && std::set<uint32_t>{1, 2, 5, 6, 7, 9}.count(sub);
    } else if (command == 0x0A || command == 0x41) {
      allowed = map.FindIntKey(1).GetUnsigned(sub) && sub >= 1 && sub <= 5;
    } else if (command == 0x09 || command == 0x40) {
      allowed = map.FindIntKey(2).GetUnsigned(sub) && (sub == 4 || sub == 7);
    } else if (command == 0x0C) {
      allowed = map.FindIntKey(2).IsEmpty();
    }
    if (!allowed) found += std::to_string(command) + "/" + std::to_string(sub) + " ";
  }
  return found;
}

// The command bytes of the reading itself, each once, in the order sent.
std::string ReadingCommands(const SimDevice& device) {
  std::string text;
  std::set<uint8_t> seen;
  for (const SimDevice::Message& message : device.receivedMessages) {
    if (message.command != CTAPHID_CBOR || message.payload.empty()) continue;
    const uint8_t command = message.payload[0];
    if (command == 0x04 || command == 0x06 || !seen.insert(command).second) continue;
    char hex[4];
    snprintf(hex, sizeof hex, "%02X", command);
    text += (text.empty() ? "" : " ") + std::string(hex);
  }
  return text;
}

class PasskeysStoreTest : public PasskeysSimTest {
 protected:
  // A key with PIN 1234 and `mutate` applied; GetInfo asked as the refresh does.
  SimDevice& Plug(const Mutate& mutate, QuillmarkModel& model) {
    SimDeviceConfig config;
    config.pin = "1234";
    config.getInfo.options["largeBlobs"] = false;
    mutate(config);
    SimDevice& device = PlugConfig(config);
    model.getInfoAnswer = AskGetInfo();
    ResetPasskeysPage(model);
    return device;
  }
};

TEST_F(PasskeysStoreTest, PageRowsFollowTheStoreAndLeaveItAsItWas) {
  const auto twoRps = [](SimDeviceConfig& c) {
    c.credentials = {Cred("a.example", 1), Cred("b.example", 2), Cred("a.example", 3)};
  };
  const std::string twoRpsRows = "|Relying party=a.example" + UserRows(1) + UserRows(3) +
                                 "|Relying party=b.example" + UserRows(2);
  const struct {
    const char* name;
    Mutate mutate;
    std::string rows;
  } cases[] = {
      {"empty", [](SimDeviceConfig&) {}, "Discoverable credentials=0 stored, 25 more fit"},
      {"one RP with names",
       [](SimDeviceConfig& c) {
         c.credentials = {Cred("a.example", 1)};
         c.credentials[0].rpName = "Alpha";
         c.credentials[0].displayName = "Ann A";
       },
       "Discoverable credentials=1 stored, 24 more fit|Relying party=a.example (Alpha)"
       "|User=u1 (Ann A)|User id=01|Credential id=c1"},
      {"several RPs and users in the key's order",
       [](SimDeviceConfig& c) {
         c.credentials = {Cred("b.example", 2), Cred("a.example", 1), Cred("b.example", 3),
                          Cred("a.example", 4)};
       },
       "Discoverable credentials=4 stored, 21 more fit|Relying party=b.example" + UserRows(2) +
           UserRows(3) + "|Relying party=a.example" + UserRows(1) + UserRows(4)},
      {"protection, large blob key, payment",
       [](SimDeviceConfig& c) {
         c.credentials = {Cred("a.example", 1, 1, true), Cred("a.example", 2, 2, false, true),
                          Cred("a.example", 3, 3)};
       },
       "Discoverable credentials=3 stored, 22 more fit|Relying party=a.example" + UserRows(1) +
           "|Protection=UV optional|Large blob key=yes" + UserRows(2) +
           "|Protection=UV optional with credential ID list|Third-party payment=yes" + UserRows(3) +
           "|Protection=UV required"},
      {"totalRPs left out",
       [&](SimDeviceConfig& c) {
         twoRps(c);
         c.credmanQuirks.totalRps = SimCredmanQuirks::TotalRps::kLeftOut;
       },
       "Discoverable credentials=3 stored, 22 more fit" + twoRpsRows},
      {"empty: an answer without rp or totalRPs",
       [](SimDeviceConfig& c) {
         c.credmanQuirks.totalRps = SimCredmanQuirks::TotalRps::kLeftOutWhenNone;
         c.credmanQuirks.emptyRpsStatus = 0;
       },
       "Discoverable credentials=0 stored, 25 more fit"},
      {"empty: 0x14", [](SimDeviceConfig& c) { c.credmanQuirks.emptyRpsStatus = 0x14; },
       "Discoverable credentials=0 stored, 25 more fit"},
      {"hostile RP count",
       [](SimDeviceConfig& c) {
         c.credentials = {Cred("a.example", 1), Cred("b.example", 2)};
         c.credmanQuirks.claimedTotalRps = 4000000000u;
       },
       "Discoverable credentials=2 stored, 23 more fit|Relying party=a.example" + UserRows(1) +
           "|Relying party=b.example" + UserRows(2) +
           "|Stopped=The key says it holds more relying parties than it can; the list stops at "
           "its maximum." +
           kTips},
      {"hostile credential count",
       [&](SimDeviceConfig& c) {
         c.credentials = {Cred("a.example", 1), Cred("a.example", 2)};
         c.credmanQuirks.claimedTotalCredentials = 4000000000u;
       },
       "Discoverable credentials=2 stored, 23 more fit|Relying party=a.example" + UserRows(1) +
           UserRows(2) +
           "|Stopped=The key says a relying party has more credentials than it can hold; the "
           "list stops at its maximum." +
           kTips},
      {"RP count too small",
       [](SimDeviceConfig& c) {
         c.credentials = {Cred("a.example", 1), Cred("b.example", 2)};
         c.credmanQuirks.claimedTotalRps = 1;
       },
       "Discoverable credentials=2 stored, 23 more fit|Relying party=a.example" + UserRows(1) +
           "|Stopped=The key says it stores 2 credentials but listed 1; the list may be "
           "incomplete." +
           kTips},
      {"no maximum",
       [](SimDeviceConfig& c) {
         c.credentials = {Cred("a.example", 1)};
         c.credmanQuirks.noMaxRemaining = true;
       },
       "Discoverable credentials=1 stored|Relying party=a.example" + UserRows(1)},
      {"fingerprints via 0x09",
       [](SimDeviceConfig& c) {
         c.getInfo.options["bioEnroll"] = true;
         c.fingerprints = {{{0x01}, "thumb"}, {{0x0A, 0x0B}, ""}};
         c.fingerprintKind = 2;
         c.samplesForEnroll = 3;
       },
       "Discoverable credentials=0 stored, 25 more fit|Fingerprints=2 enrolled"
       "|Fingerprint=thumb, 01|Fingerprint=0a0b|Fingerprint sensor=swipe, 3 samples needed"},
      // Pieces of 960 bytes with a maxMsgSize of 1024.
      {"large blobs in two pieces", LargeBlobs(4096, false),
       "Discoverable credentials=0 stored, 25 more fit"
       "|Large blob array=1463 of 4096 bytes, 2 entries, digest OK"},
      {"large blobs, digest wrong", LargeBlobs(2000, true),
       "Discoverable credentials=0 stored, 25 more fit"
       "|Large blob array=1463 of 2000 bytes, 2 entries, digest wrong"},
      {"large blobs past the key's own bound", LargeBlobs(1024, false),
       "Discoverable credentials=0 stored, 25 more fit|Stopped=The large-blob array goes on past "
       "its bound; it was not read whole." +
           kTips},
  };
  for (const auto& c : cases) {
    QuillmarkModel model;
    SimDevice& device = Plug(c.mutate, model);
    PinPrompt prompt;
    ReadPasskeys(model, prompt);
    EXPECT_EQ(Rows(model), c.rows) << c.name;
    // A second reading finds the same: nothing on the key changed.
    ReadPasskeys(model, prompt);
    EXPECT_EQ(Rows(model), c.rows) << c.name << " (again)";
    EXPECT_EQ(ChangingRequests(device), "") << c.name;
  }
}

TEST_F(PasskeysStoreTest, TokenByWhatTheKeyOffers) {
  const auto fido20 = [](SimDeviceConfig& c) {
    c.getInfo.versions = std::vector<std::string>{"U2F_V2", "FIDO_2_0"};
    c.getInfo.options["pinUvAuthToken"] = false;
    c.getInfo.options["credMgmt"] = false;
  };
  const struct {
    const char* name;
    Mutate mutate;
    std::string requests, commands, row;
    int asked = 1;
    const char* typed = "1234";
  } cases[] = {
      {"protocol 1 only",
       [](SimDeviceConfig& c) { c.getInfo.pinUvAuthProtocols = std::vector<uint32_t>{1}; }, "9/1/4",
       "0A", "Discoverable credentials=1 stored, 24 more fit"},
      {"protocol 2 only",
       [](SimDeviceConfig& c) { c.getInfo.pinUvAuthProtocols = std::vector<uint32_t>{2}; }, "9/2/4",
       "0A", "Discoverable credentials=1 stored, 24 more fit"},
      {"both", [](SimDeviceConfig&) {}, "9/2/4", "0A",
       "Discoverable credentials=1 stored, 24 more fit"},
      {"pcmr", [](SimDeviceConfig& c) { c.getInfo.options["perCredMgmtRO"] = true; }, "9/2/64",
       "0A", "Discoverable credentials=1 stored, 24 more fit"},
      {"pcmr and a token of its own for the fingerprints",
       [](SimDeviceConfig& c) {
         c.getInfo.options["perCredMgmtRO"] = true;
         c.getInfo.options["bioEnroll"] = true;
         c.fingerprints = {{{0x01}, "thumb"}};
       },
       "9/2/64 9/2/8", "0A 09", "Fingerprints=1 enrolled"},
      {"cm and be in one token",
       [](SimDeviceConfig& c) {
         c.getInfo.options["bioEnroll"] = true;
         c.fingerprints = {{{0x01}, "thumb"}};
       },
       "9/2/12", "0A 09", "Fingerprints=1 enrolled"},
      {"FIDO_2_0 with the previews",
       [&](SimDeviceConfig& c) {
         fido20(c);
         c.getInfo.options["userVerificationMgmtPreview"] = true;
         c.fingerprints = {{{0x01}, "thumb"}};
       },
       "5/1", "41 40", "Fingerprints=1 enrolled"},
      {"FIDO_2_0, protocol 2 only",
       [&](SimDeviceConfig& c) {
         fido20(c);
         c.getInfo.pinUvAuthProtocols = std::vector<uint32_t>{2};
       },
       "5/2", "41", "Discoverable credentials=1 stored, 24 more fit"},
      {"UV first", [](SimDeviceConfig& c) { c.getInfo.options["uv"] = true; }, "6/2/4", "0A",
       "Discoverable credentials=1 stored, 24 more fit", 0},
      {"UV fails, the PIN follows",
       [](SimDeviceConfig& c) {
         c.getInfo.options["uv"] = true;
         c.uvAnswer = 0x3C;
       },
       "6/2/4 9/2/4", "0A", "Discoverable credentials=1 stored, 24 more fit"},
      {"UV refused for a reason of its own",
       [](SimDeviceConfig& c) {
         c.getInfo.options["uv"] = true;
         c.uvAnswer = 0x40;
       },
       "6/2/4", "", "Passkeys=The key refused the token: Unknown Error (status 0x40).", 0},
      {"wrong PIN", [](SimDeviceConfig&) {}, "9/2/4", "", "Passkeys=PIN Invalid. 7 retries left.",
       1, "9999"},
      {"blocked PIN", [](SimDeviceConfig& c) { c.pinRetries = 1; }, "9/2/4", "",
       "Passkeys=PIN Blocked. 0 retries left.", 1, "9999"},
  };
  for (const auto& c : cases) {
    QuillmarkModel model;
    SimDevice& device = Plug(
        [&](SimDeviceConfig& config) {
          config.credentials = {Cred("a.example", 1)};
          c.mutate(config);
        },
        model);
    PinPrompt prompt;
    prompt.typed = c.typed;
    ReadPasskeys(model, prompt);
    EXPECT_EQ(TokenRequests(device), c.requests) << c.name;
    EXPECT_EQ(ReadingCommands(device), c.commands) << c.name;
    EXPECT_NE(Rows(model).find(c.row), std::string::npos) << c.name << ": " << Rows(model);
    EXPECT_EQ(prompt.asked, c.asked) << c.name;
    EXPECT_EQ(ChangingRequests(device), "") << c.name;
  }
}

}  // namespace

#include "credentials/stored_reading.h"

#include <mbedtls/platform_util.h>

#include <algorithm>
#include <cstring>

#include "credentials/credman_requests.h"
#include "transport/key_device.h"
#include "transport/status_text.h"

namespace {

constexpr uint8_t kNoCredentials = 0x2E;
constexpr uint8_t kMissingParameter = 0x14;
constexpr uint8_t kInvalidOption = 0x2C;  // enumerateEnrollments: none enrolled

// More than the longest data the transport hands over (its buffer holds the
// status byte too).
constexpr uint32_t kAnswerRoom = KEY_REPLY_BUFFER_SIZE;

struct Exchange {
  uint8_t request[CTAP_REQUEST_BUFFER_SIZE] = {};
  uint8_t answer[kAnswerRoom] = {};
  uint32_t answerLength = 0;
  ~Exchange() { mbedtls_platform_zeroize(request, sizeof request); }

  uint16_t Send(uint32_t requestLength) {
    if (requestLength == 0) return KEY_STATUS_NO_BUFFER;
    answerLength = sizeof answer;
    const uint16_t status =
        KeySendCbor(request, static_cast<int>(requestLength), answer, &answerLength);
    // A status alone leaves the length as it was; no data can fill the room.
    if (answerLength == sizeof answer) answerLength = 0;
    return status;
  }
};

// The pinUvAuthParam of `message` with `token`, into `param`.
PinUvAuth Authenticate(const ReadingToken& token, const uint8_t* message, uint32_t length,
                       uint8_t param[32]) {
  PinUvAuth auth;
  auth.protocol = token.protocol;
  auth.param = param;
  auth.length =
      ComputePinUvAuthParam(token.protocol, token.bytes, token.length, message, length, param);
  return auth;
}

uint16_t SendCredman(Exchange& exchange, const ReadingToken& token, const CredmanCall& call) {
  uint8_t message[CREDMAN_AUTH_MESSAGE_MAX] = {};
  uint8_t param[32] = {};
  PinUvAuth auth;
  if (CredmanNeedsAuth(call.subCommand)) {
    auth = Authenticate(token, message, WriteCredmanAuthMessage(call, message), param);
  }
  const uint16_t status = exchange.Send(WriteCredmanRequest(call, auth, exchange.request));
  mbedtls_platform_zeroize(param, sizeof param);
  return status;
}

std::string StatusClause(uint16_t status) {
  if (status > 0xFF) return "the key stopped answering";
  return "the key answered " + CtapStatusWithCode(status);
}

std::string StoppedAt(const char* what, const std::string& clause) {
  return std::string("The reading stopped at ") + what + ": " + clause + ".";
}

const char kUnreadable[] = "its answer could not be read";

// A key that hung or went away would make every further request wait as
// long or fail too.
bool KeyGone() { return KeyLastExchangeTimedOut() || KeyLastExchangeLinkLost(); }

// Keeps the first reason the reading stopped.
void Stop(StoredReading& out, const std::string& why) {
  if (out.stoppedShort.empty()) out.stoppedShort = why;
}

// Whether a Begin answer holds an entry at all: a key with nothing to list
// may answer with its total alone, or an empty map.
bool HoldsEntry(const RelyingPartyAnswer& rp) { return rp.id || rp.rpIdHash; }
bool HoldsEntry(const CredentialAnswer& credential) {
  return credential.userId || credential.credentialId;
}

// A Begin, then GetNext as often as its total allows within `bound`; every
// answer read goes to `keep`. False when the reading stopped, the reason
// kept in `out`. An empty Begin answer, or 0x2E (0x14 on enumerateRPsBegin,
// as some keys say it), is an empty list. Without a total, GetNext goes on
// within `bound` until the key refuses one: the caller's count check then
// tells a list cut short from a whole one.
template <typename Answer, typename Keep>
bool Enumerate(const ReadingToken& token, CredmanCall call, uint32_t bound,
               int32_t (*read)(const uint8_t*, uint32_t, Answer&),
               std::optional<uint32_t> Answer::*total, const char* what, const char* tooMany,
               Keep keep, StoredReading& out) {
  Exchange exchange;
  uint16_t status = SendCredman(exchange, token, call);
  if (status == kNoCredentials ||
      (status == kMissingParameter && call.subCommand == CREDMAN_ENUMERATE_RPS_BEGIN)) {
    return true;
  }
  Answer answer;
  if (status != 0 || read(exchange.answer, exchange.answerLength, answer) != ANSWER_OK) {
    Stop(out, StoppedAt(what, status != 0 ? StatusClause(status) : kUnreadable));
    return false;
  }
  if (exchange.answerLength == 0 || !HoldsEntry(answer)) return true;
  const bool totalGiven = (answer.*total).has_value();
  const uint32_t calls =
      totalGiven ? GetNextCallsAllowed(answer.*total, bound) : (bound == 0 ? 0 : bound - 1);
  const bool cut = totalGiven && *(answer.*total) > bound;
  keep(std::move(answer));
  ++call.subCommand;  // each GetNext follows its Begin
  for (uint32_t index = 0; index < calls; ++index) {
    status = SendCredman(exchange, token, call);
    if (!totalGiven && status != 0 && status <= 0xFF) break;
    if (status != 0 || read(exchange.answer, exchange.answerLength, answer) != ANSWER_OK) {
      Stop(out, StoppedAt(what, status != 0 ? StatusClause(status) : kUnreadable));
      return false;
    }
    keep(std::move(answer));
  }
  if (cut) Stop(out, tooMany);
  return !cut;
}

void ReadCredentialList(uint8_t command, const ReadingToken& token, StoredReading& out) {
  Exchange exchange;
  const CredmanCall call{command, CREDMAN_GET_CREDS_METADATA, nullptr};
  const uint16_t status = SendCredman(exchange, token, call);
  if (status != 0) {
    out.status = status;
    return;
  }
  if (ReadCredsMetadata(exchange.answer, exchange.answerLength, out.metadata) != ANSWER_OK) {
    Stop(out, StoppedAt("the count of stored credentials", kUnreadable));
    return;
  }
  out.listed = true;
  const uint32_t bound = CredmanCountBound(out.metadata);
  Enumerate(
      token, {command, CREDMAN_ENUMERATE_RPS_BEGIN, nullptr}, bound, ReadRelyingPartyAnswer,
      &RelyingPartyAnswer::totalRps, "the relying parties",
      "The key says it holds more relying parties than it can; the list stops at its maximum.",
      [&out](RelyingPartyAnswer&& rp) {
        out.rps.push_back({std::move(rp), {}});
      },
      out);
  // The credentials of the RPs read, even when the RPs stopped short: a
  // GetNext must follow its own Begin, so the RPs come first.
  for (StoredRp& stored : out.rps) {
    if (KeyGone()) return;
    if (!stored.rp.rpIdHash || stored.rp.rpIdHash->size() != 32) continue;
    const bool whole = Enumerate(
        token, {command, CREDMAN_ENUMERATE_CREDENTIALS_BEGIN, stored.rp.rpIdHash->data()}, bound,
        ReadCredentialAnswer, &CredentialAnswer::totalCredentials,
        "the credentials of a relying party",
        "The key says a relying party has more credentials than it can hold; the list stops at "
        "its maximum.",
        [&stored](CredentialAnswer&& credential) {
          stored.credentials.push_back(std::move(credential));
        },
        out);
    if (!whole) return;
  }
  // A key that leaves out its totals, or gives wrong ones, is caught here.
  size_t listed = 0;
  for (const StoredRp& stored : out.rps) listed += stored.credentials.size();
  if (out.metadata.existing && listed != *out.metadata.existing) {
    Stop(out, "The key says it stores " + std::to_string(*out.metadata.existing) +
                  " credentials but listed " + std::to_string(listed) +
                  "; the list may be incomplete.");
  }
}

void ReadFingerprints(uint8_t command, const ReadingToken& be, StoredReading& out) {
  Exchange exchange;
  if (exchange.Send(WriteBioSensorInfoRequest(command, exchange.request)) == 0 &&
      ReadFingerprintSensorInfo(exchange.answer, exchange.answerLength, out.sensor) == ANSWER_OK) {
    out.sensorRead = true;
  }
  if (KeyGone()) return;
  if (!be.valid()) {
    // Without this the page would look whole with no fingerprint rows.
    Stop(out, "The fingerprints were not listed: the key gave no token for them.");
    return;
  }
  uint8_t message[BIO_AUTH_MESSAGE_LENGTH] = {};
  WriteBioEnumerateAuthMessage(message);
  uint8_t param[32] = {};
  const PinUvAuth auth = Authenticate(be, message, sizeof message, param);
  const uint16_t status = exchange.Send(WriteBioEnumerateRequest(command, auth, exchange.request));
  mbedtls_platform_zeroize(param, sizeof param);
  if (status == kInvalidOption) {
    out.fingerprintsRead = true;
    return;
  }
  if (status != 0 ||
      ReadEnrollments(exchange.answer, exchange.answerLength, out.enrollments) != ANSWER_OK) {
    Stop(out, StoppedAt("the fingerprints", status != 0 ? StatusClause(status) : kUnreadable));
    return;
  }
  out.fingerprintsRead = true;
}

void ReadLargeBlobs(const StoreFacts& facts, StoredReading& out) {
  // Pieces must fit the transport's reply buffer as well as the key's messages.
  LargeBlobAccumulator blobs(
      std::min(facts.maxMsgSize == 0 ? CTAP_DEFAULT_MAX_MSG_SIZE : facts.maxMsgSize,
               KEY_REPLY_BUFFER_SIZE),
      facts.maxLargeBlobArray);
  Exchange exchange;
  int32_t state = LARGE_BLOB_MORE;
  while (state == LARGE_BLOB_MORE) {
    const uint16_t status =
        exchange.Send(WriteLargeBlobGetRequest(blobs.count(), blobs.offset(), exchange.request));
    const uint8_t* piece = nullptr;
    uint32_t pieceLength = 0;
    if (status != 0 || ReadLargeBlobAnswer(exchange.answer, exchange.answerLength, piece,
                                           pieceLength) != ANSWER_OK) {
      Stop(out,
           StoppedAt("the large-blob array", status != 0 ? StatusClause(status) : kUnreadable));
      return;
    }
    state = blobs.Add(piece, pieceLength);
  }
  if (state != LARGE_BLOB_DONE) {
    Stop(out, state == LARGE_BLOB_AT_BOUND
                  ? "The large-blob array goes on past its bound; it was not read whole."
                  : StoppedAt("the large-blob array", "a piece was longer than asked"));
    return;
  }
  out.largeBlobRead = true;
  out.largeBlobMax = blobs.bound();
  out.largeBlobBytes = static_cast<uint32_t>(blobs.bytes().size());
  out.largeBlob = CheckLargeBlobArray(blobs.bytes().data(), out.largeBlobBytes);
}

}  // namespace

StoredReading ReadStoredCredentials(const StoreFacts& facts, const ReadingToken& cm,
                                    const ReadingToken& be) {
  StoredReading out;
  const uint8_t command = CredmanCommand(facts);
  if (command != 0 && cm.valid()) ReadCredentialList(command, cm, out);
  if (out.status != 0 || KeyGone()) return out;
  const uint8_t bio = BioCommand(facts);
  if (bio != 0) ReadFingerprints(bio, be, out);
  if (facts.largeBlobs && !KeyGone()) ReadLargeBlobs(facts, out);
  return out;
}

#include "credentials/credman_answers.h"

#include <algorithm>

namespace {

constexpr uint32_t kHashLength = 32;

// The encoded item at `value` when it is a map, kept whole.
std::vector<uint8_t> RawMap(CborView value, MemberReader& reader) {
  if (value.IsEmpty() || !reader.IsMapOrMissing(value)) return {};
  const uint32_t length = WholeItemLength(value.data, value.size);
  if (length == 0) return {};
  return std::vector<uint8_t>(value.data, value.data + length);
}

}  // namespace

int32_t ReadCredsMetadata(const uint8_t* answer, uint32_t length, CredsMetadata& out) {
  return ReadAnswer(answer, length, out, [&out](CborView map, MemberReader& reader) {
    out.existing = reader.Unsigned(map.FindIntKey(0x01));
    out.remaining = reader.Unsigned(map.FindIntKey(0x02));
  });
}

int32_t ReadRelyingPartyAnswer(const uint8_t* answer, uint32_t length, RelyingPartyAnswer& out) {
  return ReadAnswer(answer, length, out, [&out](CborView map, MemberReader& reader) {
    const CborView rp = map.FindIntKey(0x03);
    if (reader.IsMapOrMissing(rp)) {
      out.id = reader.Text(rp.FindTextKey("id"));
      out.name = reader.Text(rp.FindTextKey("name"));
    }
    out.rpIdHash = reader.FixedBytes(map.FindIntKey(0x04), kHashLength);
    out.totalRps = reader.Unsigned(map.FindIntKey(0x05));
  });
}

int32_t ReadCredentialAnswer(const uint8_t* answer, uint32_t length, CredentialAnswer& out) {
  return ReadAnswer(answer, length, out, [&out](CborView map, MemberReader& reader) {
    const CborView user = map.FindIntKey(0x06);
    if (reader.IsMapOrMissing(user)) {
      out.userId = reader.Bytes(user.FindTextKey("id"));
      out.userName = reader.Text(user.FindTextKey("name"));
      out.displayName = reader.Text(user.FindTextKey("displayName"));
    }
    const CborView credential = map.FindIntKey(0x07);
    if (reader.IsMapOrMissing(credential)) {
      out.credentialId = reader.Bytes(credential.FindTextKey("id"));
      out.credentialType = reader.Text(credential.FindTextKey("type"));
    }
    out.publicKey = RawMap(map.FindIntKey(0x08), reader);
    out.totalCredentials = reader.Unsigned(map.FindIntKey(0x09));
    out.credProtect = reader.Unsigned(map.FindIntKey(0x0A));
    out.hasLargeBlobKey = reader.FixedBytes(map.FindIntKey(0x0B), kHashLength).has_value();
    out.thirdPartyPayment = reader.Bool(map.FindIntKey(0x0C));
  });
}

uint32_t CredmanCountBound(const CredsMetadata& metadata) {
  if (!metadata.existing) return CREDMAN_DEFAULT_COUNT_BOUND;
  return std::min(*metadata.existing, CREDMAN_COUNT_CEILING);
}

uint32_t GetNextCallsAllowed(std::optional<uint32_t> total, uint32_t bound) {
  if (!total) return 0;
  const uint32_t capped = std::min(*total, bound);
  return capped == 0 ? 0 : capped - 1;
}

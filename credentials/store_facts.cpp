#include "credentials/store_facts.h"

#include <string>

#include "cbor/cbor_view.h"
#include "credentials/bio_enrollment.h"
#include "credentials/credman_requests.h"

namespace {

bool OptionTrue(const CborView& options, const char* name) {
  const CborHead head =
      options.FindTextKey(name, static_cast<uint32_t>(std::string(name).size())).Head();
  return head.headLength != 0 && head.major == 7 && head.info == 21;
}

uint32_t UnsignedOrZero(const CborView& value) {
  uint32_t number = 0;
  return value.GetUnsigned(number) ? number : 0;
}

// The map was checked whole and definite, so the count is within its bytes.
int32_t ArrayCount(const CborView& value) { return value.Head().major == 4 ? value.Count() : 0; }

}  // namespace

StoreFacts ReadStoreFacts(const uint8_t* getInfo, uint32_t length) {
  StoreFacts facts;
  CborView map;
  if (OpenAnswerMap(getInfo, length, map) != ANSWER_OK || length == 0) return facts;
  facts.answered = true;
  const CborView versions = map.FindIntKey(0x01);
  for (int32_t index = 0; index < ArrayCount(versions); ++index) {
    std::string version;
    if (versions.ElementAt(index).GetText(version) && version == "FIDO_2_1") facts.fido21 = true;
  }
  const CborView options = map.FindIntKey(0x04);
  facts.clientPin = OptionTrue(options, "clientPin");
  facts.credMgmt = OptionTrue(options, "credMgmt");
  facts.credMgmtPreview = OptionTrue(options, "credentialMgmtPreview");
  facts.bioEnroll = OptionTrue(options, "bioEnroll");
  facts.bioEnrollPreview = OptionTrue(options, "userVerificationMgmtPreview");
  facts.largeBlobs = OptionTrue(options, "largeBlobs");
  facts.uv = OptionTrue(options, "uv");
  facts.pinUvAuthToken = OptionTrue(options, "pinUvAuthToken");
  facts.perCredMgmtRO = OptionTrue(options, "perCredMgmtRO");
  facts.maxMsgSize = UnsignedOrZero(map.FindIntKey(0x05));
  const CborView protocols = map.FindIntKey(0x06);
  for (int32_t index = 0; index < ArrayCount(protocols); ++index) {
    uint32_t protocol = 0;
    if (protocols.ElementAt(index).GetUnsigned(protocol))
      facts.pinUvAuthProtocols.push_back(protocol);
  }
  facts.maxLargeBlobArray = UnsignedOrZero(map.FindIntKey(0x0B));
  return facts;
}

uint8_t CredmanCommand(const StoreFacts& facts) {
  if (facts.fido21 && facts.credMgmt) return CTAP_CREDENTIAL_MANAGEMENT;
  if (facts.credMgmtPreview) return CTAP_CREDENTIAL_MANAGEMENT_PREVIEW;
  return 0;
}

uint8_t BioCommand(const StoreFacts& facts) {
  if (facts.bioEnroll) return CTAP_BIO_ENROLLMENT;
  if (facts.bioEnrollPreview) return CTAP_BIO_ENROLLMENT_PREVIEW;
  return 0;
}

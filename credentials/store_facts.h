// What a key's GetInfo answer says about reading what it stores: which
// commands it offers, its PIN/UV auth protocols and its size limits.
#pragma once

#include <cstdint>
#include <vector>

struct StoreFacts {
  bool answered = false;  // a GetInfo map was there to read
  bool fido21 = false;    // versions hold FIDO_2_1
  bool clientPin = false;
  bool credMgmt = false;
  bool credMgmtPreview = false;
  bool bioEnroll = false;
  bool bioEnrollPreview = false;  // userVerificationMgmtPreview
  bool largeBlobs = false;
  bool uv = false;
  bool pinUvAuthToken = false;
  bool perCredMgmtRO = false;
  std::vector<uint32_t> pinUvAuthProtocols;
  uint32_t maxMsgSize = 0;         // 0: not given
  uint32_t maxLargeBlobArray = 0;  // maxSerializedLargeBlobArray; 0: not given
};

// Reads the members above from a GetInfo answer (its CBOR map); a member
// missing or of another type reads as not offered.
StoreFacts ReadStoreFacts(const uint8_t* getInfo, uint32_t length);

// The credential-management command the key offers (0x0A, else the preview
// 0x41), or 0 when it offers neither; likewise for bio enrollment.
uint8_t CredmanCommand(const StoreFacts& facts);
uint8_t BioCommand(const StoreFacts& facts);

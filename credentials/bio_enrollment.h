// The requests of authenticatorBioEnrollment that read fingerprints, and the
// readers of their answers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cbor/cbor_writer.h"
#include "credentials/answer_members.h"
#include "credentials/pin_uv_auth.h"

constexpr uint8_t CTAP_BIO_ENROLLMENT = 0x09;
// Pre-release firmware offers only this (userVerificationMgmtPreview).
constexpr uint8_t CTAP_BIO_ENROLLMENT_PREVIEW = 0x40;

constexpr uint8_t BIO_MODALITY_FINGERPRINT = 0x01;
constexpr uint8_t BIO_ENUMERATE_ENROLLMENTS = 0x04;
constexpr uint8_t BIO_GET_SENSOR_INFO = 0x07;

// The authenticated message of enumerateEnrollments: modality, subcommand.
constexpr uint32_t BIO_AUTH_MESSAGE_LENGTH = 2;
void WriteBioEnumerateAuthMessage(uint8_t message[BIO_AUTH_MESSAGE_LENGTH]);

// getFingerprintSensorInfo needs no token. Both answer the request's length,
// command byte first, or 0 for an unknown command or an invalid `auth`.
uint32_t WriteBioSensorInfoRequest(uint8_t command, uint8_t request[CTAP_REQUEST_BUFFER_SIZE]);
uint32_t WriteBioEnumerateRequest(uint8_t command, const PinUvAuth& auth,
                                  uint8_t request[CTAP_REQUEST_BUFFER_SIZE]);

struct FingerprintSensorInfo {
  std::optional<uint32_t> fingerprintKind;   // 1 touch, 2 swipe
  std::optional<uint32_t> samplesForEnroll;  // maxCaptureSamplesRequiredForEnroll
};

struct Enrollment {
  std::optional<std::vector<uint8_t>> templateId;
  std::optional<std::string> friendlyName;
};

// Answer ANSWER_OK, ANSWER_UNREADABLE or ANSWER_WRONG_TYPE (the record left
// empty). An entry of templateInfos that is no map is a wrong type.
int32_t ReadFingerprintSensorInfo(const uint8_t* answer, uint32_t length,
                                  FingerprintSensorInfo& out);
int32_t ReadEnrollments(const uint8_t* answer, uint32_t length, std::vector<Enrollment>& out);

#include "credentials/bio_enrollment.h"

namespace {

bool IsBioCommand(uint8_t command) {
  return command == CTAP_BIO_ENROLLMENT || command == CTAP_BIO_ENROLLMENT_PREVIEW;
}

// {1: modality, 2: subCommand}, then room for the caller's members.
CborWriter StartRequest(uint8_t command, uint8_t subCommand, uint32_t pairs,
                        uint8_t request[CTAP_REQUEST_BUFFER_SIZE]) {
  request[0] = command;
  CborWriter writer(request + 1, CTAP_REQUEST_BUFFER_SIZE - 1);
  writer.WriteMap(pairs);
  writer.WriteInt(1);
  writer.WriteInt(BIO_MODALITY_FINGERPRINT);
  writer.WriteInt(2);
  writer.WriteInt(subCommand);
  return writer;
}

}  // namespace

void WriteBioEnumerateAuthMessage(uint8_t message[BIO_AUTH_MESSAGE_LENGTH]) {
  message[0] = BIO_MODALITY_FINGERPRINT;
  message[1] = BIO_ENUMERATE_ENROLLMENTS;
}

uint32_t WriteBioSensorInfoRequest(uint8_t command, uint8_t request[CTAP_REQUEST_BUFFER_SIZE]) {
  if (!IsBioCommand(command)) return 0;
  return 1 + StartRequest(command, BIO_GET_SENSOR_INFO, 2, request).position();
}

uint32_t WriteBioEnumerateRequest(uint8_t command, const PinUvAuth& auth,
                                  uint8_t request[CTAP_REQUEST_BUFFER_SIZE]) {
  if (!IsBioCommand(command) || !PinUvAuthIsValid(auth)) return 0;
  CborWriter writer = StartRequest(command, BIO_ENUMERATE_ENROLLMENTS, 4, request);
  WritePinUvAuth(writer, auth, 4, 5);
  return 1 + writer.position();
}

int32_t ReadFingerprintSensorInfo(const uint8_t* answer, uint32_t length,
                                  FingerprintSensorInfo& out) {
  return ReadAnswer(answer, length, out, [&out](CborView map, MemberReader& reader) {
    out.fingerprintKind = reader.Unsigned(map.FindIntKey(0x02));
    out.samplesForEnroll = reader.Unsigned(map.FindIntKey(0x03));
  });
}

int32_t ReadEnrollments(const uint8_t* answer, uint32_t length, std::vector<Enrollment>& out) {
  return ReadAnswer(answer, length, out, [&out](CborView map, MemberReader& reader) {
    const CborView infos = map.FindIntKey(0x07);
    if (infos.IsEmpty()) return;
    const CborHead head = infos.Head();
    if (head.major != CBOR_MAJOR_ARRAY || head.info == CBOR_INFO_INDEFINITE) {
      reader.MarkWrong();
      return;
    }
    // The map was checked whole, so each entry lies within the answer and the
    // count cannot outrun the bytes: every entry takes at least one.
    CborView entry(infos.data + head.headLength, infos.size - head.headLength);
    for (uint32_t i = 0; i < head.argument && !reader.wrong(); ++i) {
      const uint32_t entryLength = WholeItemLength(entry.data, entry.size);
      if (entryLength == 0 || entry.Head().major != CBOR_MAJOR_MAP) {
        reader.MarkWrong();
        return;
      }
      Enrollment enrollment;
      enrollment.templateId = reader.Bytes(entry.FindIntKey(0x01));
      enrollment.friendlyName = reader.Text(entry.FindIntKey(0x02));
      out.push_back(std::move(enrollment));
      entry = CborView(entry.data + entryLength, entry.size - entryLength);
    }
  });
}

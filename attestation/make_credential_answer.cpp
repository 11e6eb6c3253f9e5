#include "attestation/make_credential_answer.h"

int ReadMakeCredentialAnswer(const uint8_t* answer, uint32_t length, MakeCredentialAnswer* out) {
  if (out == nullptr) return MAKE_CREDENTIAL_BAD_ANSWER;
  const CborView response(answer, answer == nullptr ? 0 : length);
  MakeCredentialAnswer read;
  if (!response.FindIntKey(2).GetBytes(read.authData, read.authDataLength) ||
      read.authDataLength == 0 || read.authDataLength > MAKE_CREDENTIAL_MAX_AUTH_DATA) {
    return MAKE_CREDENTIAL_BAD_ANSWER;
  }
  const CborView statement = response.FindIntKey(3);
  if (!statement.FindTextKey("sig").GetBytes(read.signature, read.signatureLength) ||
      read.signatureLength == 0) {
    return MAKE_CREDENTIAL_BAD_ANSWER;
  }
  read.x5c = statement.FindTextKey("x5c");
  if (!response.FindIntKey(1).GetText(read.format)) read.format.clear();
  const CborView alg = statement.FindTextKey("alg");
  const CborHead head = alg.Head();
  if (head.headLength != 0 && head.tag == CBOR_NO_TAG &&
      (head.major == CBOR_MAJOR_UNSIGNED || head.major == CBOR_MAJOR_NEGATIVE)) {
    read.algForm = MakeCredentialAnswer::Alg::kInteger;
    read.alg =
        head.major == CBOR_MAJOR_UNSIGNED ? int64_t{head.argument} : -1 - int64_t{head.argument};
  } else if (!alg.IsEmpty()) {
    read.algForm = MakeCredentialAnswer::Alg::kNotInteger;
  }
  *out = read;
  return read.x5c.ItemLength() == 0 ? MAKE_CREDENTIAL_NO_X5C : MAKE_CREDENTIAL_OK;
}

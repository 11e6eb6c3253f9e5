#include "credentials/credman_requests.h"

namespace {

bool HasParams(uint8_t subCommand) { return subCommand == CREDMAN_ENUMERATE_CREDENTIALS_BEGIN; }

bool CallIsValid(const CredmanCall& call) {
  if (call.command != CTAP_CREDENTIAL_MANAGEMENT &&
      call.command != CTAP_CREDENTIAL_MANAGEMENT_PREVIEW) {
    return false;
  }
  if (call.subCommand < CREDMAN_GET_CREDS_METADATA ||
      call.subCommand > CREDMAN_ENUMERATE_CREDENTIALS_NEXT) {
    return false;
  }
  return !HasParams(call.subCommand) || call.rpIdHash != nullptr;
}

// subCommandParams {1: rpIDHash}: written alike into the request and into the
// authenticated message, so the two cannot differ.
void WriteParams(CborWriter& writer, const CredmanCall& call) {
  writer.WriteMap(1);
  writer.WriteInt(1);
  writer.WriteBytes(call.rpIdHash, 32);
}

}  // namespace

bool CredmanNeedsAuth(uint8_t subCommand) {
  return subCommand != CREDMAN_ENUMERATE_RPS_NEXT &&
         subCommand != CREDMAN_ENUMERATE_CREDENTIALS_NEXT;
}

uint32_t WriteCredmanAuthMessage(const CredmanCall& call,
                                 uint8_t message[CREDMAN_AUTH_MESSAGE_MAX]) {
  if (!CallIsValid(call)) return 0;
  message[0] = call.subCommand;
  CborWriter writer(message + 1, CREDMAN_AUTH_MESSAGE_MAX - 1);
  if (HasParams(call.subCommand)) WriteParams(writer, call);
  return 1 + writer.position();
}

uint32_t WriteCredmanRequest(const CredmanCall& call, const PinUvAuth& auth,
                             uint8_t request[CTAP_REQUEST_BUFFER_SIZE]) {
  if (!CallIsValid(call)) return 0;
  const bool withAuth = CredmanNeedsAuth(call.subCommand);
  if (withAuth && !PinUvAuthIsValid(auth)) return 0;
  request[0] = call.command;
  CborWriter writer(request + 1, CTAP_REQUEST_BUFFER_SIZE - 1);
  writer.WriteMap(1 + (HasParams(call.subCommand) ? 1 : 0) + (withAuth ? 2 : 0));
  writer.WriteInt(1);
  writer.WriteInt(call.subCommand);
  if (HasParams(call.subCommand)) {
    writer.WriteInt(2);
    WriteParams(writer, call);
  }
  if (withAuth) WritePinUvAuth(writer, auth, 3, 4);
  return 1 + writer.position();
}

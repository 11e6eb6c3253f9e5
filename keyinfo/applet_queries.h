// The eight small questions a refresh asks the key's smart-card applets. Each
// fills a caller's text buffer of APPLET_TEXT_CAPACITY bytes (zero-filled by
// the caller) and answers a result code.
#pragma once

#include <cstdint>

constexpr int QUERY_OK = 0;
constexpr int QUERY_FAILED = 1;
constexpr int QUERY_BAD_ANSWER = 2;

constexpr uint32_t APPLET_TEXT_CAPACITY = 100;
constexpr uint32_t GETINFO_RESPONSE_CAPACITY = 5000;
extern const uint8_t APPLET_VERSION_REQUEST[11];

int QueryIdentify(char* text);
int QueryFingerprintModuleVersion(char* text);
int QueryWinHelloVersion(char* text);
int QueryOtpVersion(char* text);
int QueryPivVersion(char* text);
int QueryGidsVersion(char* text);
int QueryNdefPresent(char* text);
int QueryU2fVersion(char* text);

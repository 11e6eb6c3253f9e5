#include "transport/hidapi_platform.h"

#include <hidapi/hidapi.h>
#include <unistd.h>

#include <cerrno>
#include <cwchar>

#include "transport/ctaphid.h"

namespace {

std::string WideToUtf8(const wchar_t* text) {
  std::string out;
  if (text == nullptr) return out;
  for (; *text != L'\0'; ++text) {
    uint32_t c = static_cast<uint32_t>(*text);
    if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace

HidapiPlatform& HidapiPlatform::Instance() {
  // Never destroyed: the transport object closes its handles during static
  // teardown, after function-local statics created later are gone.
  static HidapiPlatform* platform = new HidapiPlatform();
  return *platform;
}

hid_device_* HidapiPlatform::Find(KeyHandle handle) const {
  auto it = open_.find(handle);
  return it == open_.end() ? nullptr : it->second;
}

bool HidapiPlatform::Enumerate(std::vector<HidInterface>& out) {
  out.clear();
  if (!initialised_) {
    if (hid_init() != 0) return false;
    initialised_ = true;
  }
  hid_device_info* list = hid_enumerate(0, 0);
  for (hid_device_info* item = list; item != nullptr; item = item->next) {
    HidInterface facts;
    facts.path = item->path != nullptr ? item->path : "";
    facts.vendorId = item->vendor_id;
    facts.productId = item->product_id;
    facts.releaseNumber = item->release_number;
    facts.productName = WideToUtf8(item->product_string);
    facts.usagePage = item->usage_page;
    facts.usage = item->usage;
    out.push_back(std::move(facts));
  }
  hid_free_enumeration(list);
  return true;
}

KeyHandle HidapiPlatform::Open(const std::string& path, HidAccess, int* error) {
  if (error != nullptr) *error = 0;
  errno = 0;
  hid_device* device = hid_open_path(path.c_str());
  if (device == nullptr) {
    int reason = errno;
    // hidapi may have overwritten errno while recording its message.
    if (reason != EACCES && reason != EPERM && access(path.c_str(), R_OK | W_OK) != 0 &&
        (errno == EACCES || errno == EPERM)) {
      reason = errno;
    }
    if (error != nullptr) *error = reason != 0 ? reason : EIO;
    return KEY_INVALID_HANDLE;
  }
  const KeyHandle handle = nextHandle_++;
  open_[handle] = device;
  return handle;
}

void HidapiPlatform::Close(KeyHandle handle) {
  auto it = open_.find(handle);
  if (it == open_.end()) return;
  hid_close(it->second);
  open_.erase(it);
}

bool HidapiPlatform::GetReportLengths(KeyHandle handle, uint16_t* inputLength,
                                      uint16_t* outputLength) {
  if (Find(handle) == nullptr) return false;
  // hidapi 0.13 does not expose the report descriptor's lengths; FIDO
  // interfaces use 64-byte reports.
  *inputLength = CTAPHID_REPORT_LENGTH;
  *outputLength = CTAPHID_REPORT_LENGTH;
  return true;
}

int HidapiPlatform::Write(KeyHandle handle, const uint8_t* report, size_t length) {
  hid_device* device = Find(handle);
  if (device == nullptr) return -1;
  return hid_write(device, report, length);
}

int HidapiPlatform::Read(KeyHandle handle, uint8_t* report, size_t length, int timeoutMs) {
  hid_device* device = Find(handle);
  if (device == nullptr || length < 2) return -1;
  // hidraw hands unnumbered reports over without the report id byte that the
  // transport expects in front.
  const int read = hid_read_timeout(device, report + 1, length - 1, timeoutMs);
  if (read <= 0) return read;
  report[0] = 0;
  return read + 1;
}

#include "app/device_change.h"

#include <cstddef>
#include <utility>

#include "transport/trace.h"

namespace {

// A device path shorter than this cannot name a device.
constexpr size_t MIN_DEVICE_PATH_CHARACTERS = 25;
// "VID_" and "PID_" are each followed by up to this many characters of id.
constexpr size_t ID_TEXT_CHARACTERS = 4;
constexpr uint32_t DEVICE_WAIT_MS = 1000;

bool IsContinuationByte(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) == 0x80; }

// Paths are UTF-8; lengths and cuts count characters, not bytes.
size_t CharacterCount(const std::string& text) {
  size_t count = 0;
  for (char byte : text) {
    if (!IsContinuationByte(byte)) ++count;
  }
  return count;
}

// Up to `count` characters of `text` from byte `start`, fewer when the text
// ends sooner.
std::string TakeCharacters(const std::string& text, size_t start, size_t count) {
  size_t end = start;
  size_t taken = 0;
  while (end < text.size()) {
    if (!IsContinuationByte(text[end])) {
      if (taken == count) break;
      ++taken;
    }
    ++end;
  }
  return text.substr(start, end - start);
}

// The id text right after the first `marker` (exact case), or empty.
std::string IdTextAfter(const std::string& path, const char* marker) {
  const size_t found = path.find(marker);
  if (found == std::string::npos) return std::string();
  return TakeCharacters(path, found + std::char_traits<char>::length(marker), ID_TEXT_CHARACTERS);
}

}  // namespace

DeviceChangeHandler::DeviceChangeHandler(KeyClock& clock, Refresh refresh)
    : clock_(clock), refresh_(std::move(refresh)) {}

void DeviceChangeHandler::WindowProc(uint32_t eventType, const DeviceEventRecord* record) {
  KeyTrace("message: %08x, wparam: %08x, lparam: %08x\n", WM_DEVICECHANGE_MESSAGE, eventType,
           static_cast<uint32_t>(reinterpret_cast<uintptr_t>(record)));
  // The refresh lets the window handle events while the key keeps it
  // waiting, so a message can arrive from inside it. It waits its turn.
  pending_.push_back({eventType, record != nullptr, record ? *record : DeviceEventRecord()});
  if (busy_) return;
  busy_ = true;
  while (!pending_.empty()) {
    const Pending message = std::move(pending_.front());
    pending_.pop_front();
    // One handling per run of equal types, counting types that
    // OnDeviceChange then ignores.
    if (message.eventType == lastDeviceEvent) continue;
    lastDeviceEvent = message.eventType;
    OnDeviceChange(message.eventType, message.hasRecord ? &message.record : nullptr);
  }
  busy_ = false;
}

bool DeviceChangeHandler::OnDeviceChange(uint32_t eventType, const DeviceEventRecord* record) {
  if (eventType != DBT_DEVICEARRIVAL && eventType != DBT_DEVICEREMOVECOMPLETE) return false;
  if (record == nullptr || !record->isDeviceInterface) return false;
  const std::string path = record->path;
  if (CharacterCount(path) < MIN_DEVICE_PATH_CHARACTERS) return false;
  const std::string vidText = IdTextAfter(path, "VID_");
  const std::string pidText = IdTextAfter(path, "PID_");
  // The system needs a moment before the new interface can be opened.
  clock_.SleepMs(DEVICE_WAIT_MS);
  if (refresh_) refresh_(vidText, pidText);
  return true;
}

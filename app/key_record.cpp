#include "app/key_record.h"

#include <ctime>

#include "app/program_version.h"
#include "app/record_file.h"
#include "simkey/sim_profile_writer.h"
#include "simkey/sim_record.h"

namespace {

std::string UtcMinute(int64_t unixSeconds) {
  const std::time_t time = static_cast<std::time_t>(unixSeconds);
  std::tm parts{};
  if (gmtime_r(&time, &parts) == nullptr) return FormatIsoDate(unixSeconds);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M UTC", &parts);
  return text;
}

}  // namespace

std::string KeyRecordJson(const KeyExchangeLog& log, const WallClock& clock) {
  std::string comment = "Recorded by quillmark ";
  comment += QUILLMARK_VERSION;
  comment += " on ";
  comment += UtcMinute(clock.NowUnixSeconds());
  comment += " from ";
  comment += log.device().path;
  comment += ". Replay it with: quillmark --simulate FILE (or quillmark --report --simulate FILE).";
  return SimProfileJson({SimRecordedDevice(log)}, comment);
}

bool WriteKeyRecord(const std::string& path, const KeyExchangeLog& log, bool replace,
                    const WallClock& clock, std::string* error) {
  std::string reason;
  if (WriteFileAtomically(path, KeyRecordJson(log, clock), replace, &reason)) return true;
  *error = CannotWriteText(path, reason);
  return false;
}

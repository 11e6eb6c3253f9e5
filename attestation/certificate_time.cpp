#include "attestation/certificate_time.h"

#include <cstdio>
#include <ctime>

namespace {

std::string FormatUtc(const CertificateTime& utc) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", utc.year, utc.month, utc.day,
                utc.hour, utc.minute, utc.second);
  return text;
}

bool SameFields(const std::tm& tm, const CertificateTime& utc) {
  return tm.tm_year == utc.year - 1900 && tm.tm_mon == utc.month - 1 && tm.tm_mday == utc.day &&
         tm.tm_hour == utc.hour && tm.tm_min == utc.minute && tm.tm_sec == utc.second;
}

}  // namespace

std::string FormatCertificateTime(const CertificateTime& utc) {
  if (utc.year > LOCAL_TIME_LAST_YEAR) return FormatUtc(utc);
  std::tm fields = {};
  fields.tm_year = utc.year - 1900;
  fields.tm_mon = utc.month - 1;
  fields.tm_mday = utc.day;
  fields.tm_hour = utc.hour;
  fields.tm_min = utc.minute;
  fields.tm_sec = utc.second;
  const time_t seconds = timegm(&fields);
  // timegm answers -1 for overflow, and for one real second too: the round
  // trip through gmtime_r tells them apart (a 32-bit time_t past 2038).
  std::tm check = {};
  if (gmtime_r(&seconds, &check) == nullptr || !SameFields(check, utc)) return FormatUtc(utc);
  std::tm local = {};
  if (localtime_r(&seconds, &local) == nullptr) return FormatUtc(utc);
  char text[64];
  if (std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) == 0) return FormatUtc(utc);
  return text;
}

std::string FormatValidityPeriod(const CertificateTime& notBefore,
                                 const CertificateTime& notAfter) {
  return FormatCertificateTime(notBefore) + " - " + FormatCertificateTime(notAfter);
}

// Certificate times as the "Validity period" row shows them.
#pragma once

#include <string>

#include "attestation/x509_facts.h"

// The last year converted to local time; later years are shown in UTC.
constexpr int LOCAL_TIME_LAST_YEAR = 3000;

// "%Y-%m-%d %H:%M:%S" in the local time zone. A time the local conversion
// cannot handle (beyond LOCAL_TIME_LAST_YEAR, or beyond the range of time_t)
// is shown in UTC, in the same format.
std::string FormatCertificateTime(const CertificateTime& utc);

// "<not before> - <not after>".
std::string FormatValidityPeriod(const CertificateTime& notBefore, const CertificateTime& notAfter);

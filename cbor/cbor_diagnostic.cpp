#include "cbor/cbor_diagnostic.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr char kCutMark[] = "...";
// A tag 2 or 3 bignum with more bytes than this is written as tag and byte
// string: the decimal form would only get longer without being read.
constexpr size_t kBignumDecimalBytes = 64;

// Collects notation up to a limit. Past the limit nothing more is kept, so a
// huge item costs no more memory than its notation's first maxLength bytes.
class Out {
 public:
  explicit Out(size_t maxLength) : maxLength_(maxLength) {}

  void Add(const std::string& text) {
    if (full_) return;
    if (text_.size() + text.size() <= maxLength_) {
      text_ += text;
      return;
    }
    // Cut on a UTF-8 character boundary.
    size_t keep = maxLength_ - text_.size();
    while (keep > 0 && keep < text.size() && (static_cast<uint8_t>(text[keep]) & 0xC0) == 0x80) {
      --keep;
    }
    text_.append(text, 0, keep);
    text_ += kCutMark;
    full_ = true;
  }
  bool full() const { return full_; }
  const std::string& text() const { return text_; }

 private:
  size_t maxLength_;
  std::string text_;
  bool full_ = false;
};

// Decimal of a big-endian unsigned number of any length.
std::string BigDecimal(const std::string& bigEndian) {
  std::vector<uint8_t> number(bigEndian.begin(), bigEndian.end());
  std::string digits;
  for (;;) {
    bool zero = true;
    unsigned remainder = 0;
    for (uint8_t& byte : number) {
      const unsigned value = remainder * 256 + byte;
      byte = static_cast<uint8_t>(value / 10);
      remainder = value % 10;
      if (byte != 0) zero = false;
    }
    digits.insert(digits.begin(), static_cast<char>('0' + remainder));
    if (zero) break;
  }
  return digits;
}

// `bigEndian` + 1, for the negative bignum -1 - n.
std::string PlusOne(std::string bigEndian) {
  for (size_t i = bigEndian.size(); i-- > 0;) {
    uint8_t byte = static_cast<uint8_t>(bigEndian[i]);
    bigEndian[i] = static_cast<char>(byte + 1);
    if (byte != 0xFF) return bigEndian;
  }
  return std::string(1, '\x01') + bigEndian;
}

// The shortest digits that read back as `value`, laid out as ECMAScript's
// Number::toString does, and always with a fraction or an exponent so that
// a float never reads as an integer: 1.0, 100000.0, 1.0e+300, 5.960464477539063e-8.
std::string FloatText(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
  if (value == 0) return std::signbit(value) ? "-0.0" : "0.0";
  char buffer[64];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                          std::chars_format::scientific);
  if (error != std::errc()) return "NaN";
  const std::string scientific(buffer, end);
  const size_t e = scientific.find('e');
  std::string digits = scientific.substr(0, e);
  if (digits.size() > 1) digits.erase(1, 1);  // the decimal point
  const int exponent = std::atoi(scientific.c_str() + e + 1);
  const int k = static_cast<int>(digits.size());
  const int n = exponent + 1;  // where the decimal point goes
  std::string text = value < 0 ? "-" : "";
  if (k <= n && n <= 21) {
    text += digits + std::string(static_cast<size_t>(n - k), '0') + ".0";
  } else if (0 < n && n <= 21) {
    text += digits.substr(0, static_cast<size_t>(n)) + "." + digits.substr(static_cast<size_t>(n));
  } else if (-6 < n && n <= 0) {
    text += "0." + std::string(static_cast<size_t>(-n), '0') + digits;
  } else {
    text += digits.substr(0, 1) + "." + (k > 1 ? digits.substr(1) : "0") + "e" +
            (n - 1 < 0 ? "-" : "+") + std::to_string(std::abs(n - 1));
  }
  return text;
}

bool Utf8Continuation(const std::string& text, size_t at) {
  return at < text.size() && (static_cast<uint8_t>(text[at]) & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 character at `at`, 0 when it is not.
size_t Utf8CharLength(const std::string& text, size_t at) {
  const uint8_t lead = static_cast<uint8_t>(text[at]);
  if (lead < 0x80) return 1;
  size_t length;
  uint32_t codePoint;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    codePoint = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    codePoint = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    codePoint = lead & 0x07;
  } else {
    return 0;
  }
  for (size_t i = 1; i < length; ++i) {
    if (!Utf8Continuation(text, at + i)) return 0;
    codePoint = (codePoint << 6) | (static_cast<uint8_t>(text[at + i]) & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not text.
  if ((length == 3 && codePoint < 0x800) || (length == 4 && codePoint < 0x10000) ||
      (codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint > 0x10FFFF) {
    return 0;
  }
  return length;
}

bool IsUtf8(const std::string& text) {
  for (size_t at = 0; at < text.size();) {
    const size_t length = Utf8CharLength(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

// JSON-style escapes for '"', '\' and control characters. `text` must be
// UTF-8.
std::string QuotedText(const std::string& text) {
  std::string out = "\"";
  for (size_t at = 0; at < text.size();) {
    const char c = text[at];
    const size_t length = Utf8CharLength(text, at);
    if (length == 0) {
      out += "\\ufffd";  // never with UTF-8 text; keeps the loop moving
      ++at;
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (static_cast<uint8_t>(c) < 0x20 || c == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<uint8_t>(c));
      out += escape;
    } else {
      out.append(text, at, length);
    }
    at += length;
  }
  return out + "\"";
}

std::string HexText(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out = "h'";
  for (char c : bytes) {
    out += kDigits[static_cast<uint8_t>(c) >> 4];
    out += kDigits[static_cast<uint8_t>(c) & 0x0F];
  }
  return out + "'";
}

// "-" and the digits. Built by appending: GCC 12 at -O3 sees a false overlap
// (-Wrestrict) in "-" + std::string.
std::string Negative(const std::string& digits) {
  std::string text = "-";
  text += digits;
  return text;
}

void Write(const CborNode& node, Out& out) {
  if (out.full()) return;
  switch (node.major) {
    case 0:
      out.Add(std::to_string(node.argument));
      return;
    case 1:
      // -1 - n; for n = 2^64 - 1 the value does not fit 64 bits.
      out.Add(node.argument == UINT64_MAX ? std::string("-18446744073709551616")
                                          : Negative(std::to_string(node.argument + 1)));
      return;
    case 2:
    case 3:
      if (node.indefinite) {
        // Without chunks "(_ )" would not tell bytes from text.
        if (node.children.empty()) {
          out.Add(node.major == 2 ? "''_" : "\"\"_");
          return;
        }
        out.Add("(_ ");
        for (size_t i = 0; i < node.children.size() && !out.full(); ++i) {
          if (i > 0) out.Add(", ");
          Write(node.children[i], out);
        }
        out.Add(")");
        return;
      }
      if (node.major == 3 && !IsUtf8(node.bytes)) {
        // Shown as its bytes, so that nothing of a malformed string is lost.
        out.Add(HexText(node.bytes) + " / not UTF-8 /");
        return;
      }
      out.Add(node.major == 2 ? HexText(node.bytes) : QuotedText(node.bytes));
      return;
    case 4:
    case 5: {
      const bool map = node.major == 5;
      out.Add(map ? "{" : "[");
      if (node.indefinite) out.Add("_ ");
      for (size_t i = 0; i < node.children.size() && !out.full(); ++i) {
        if (i > 0) out.Add(map && i % 2 == 1 ? ": " : ", ");
        Write(node.children[i], out);
      }
      out.Add(map ? "}" : "]");
      return;
    }
    case 6: {
      const CborNode* content = node.children.empty() ? nullptr : &node.children[0];
      // Bignums read as the numbers they are.
      if ((node.argument == 2 || node.argument == 3) && content != nullptr && content->IsBytes() &&
          content->bytes.size() <= kBignumDecimalBytes) {
        out.Add(node.argument == 2 ? BigDecimal(content->bytes)
                                   : Negative(BigDecimal(PlusOne(content->bytes))));
        return;
      }
      out.Add(std::to_string(node.argument) + "(");
      if (content != nullptr) Write(*content, out);
      out.Add(")");
      return;
    }
    default:
      if (node.floatBytes != 0) {
        out.Add(FloatText(node.floatValue));
        return;
      }
      switch (node.argument) {
        case 20:
          out.Add("false");
          return;
        case 21:
          out.Add("true");
          return;
        case 22:
          out.Add("null");
          return;
        case 23:
          out.Add("undefined");
          return;
        default:
          out.Add("simple(" + std::to_string(node.argument) + ")");
          return;
      }
  }
}

}  // namespace

bool IsWellFormedUtf8(const std::string& bytes) {
  for (size_t at = 0; at < bytes.size();) {
    const size_t length = Utf8CharLength(bytes, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

std::string CborNodeDiagnostic(const CborNode& node, size_t maxLength, bool* truncated) {
  Out out(maxLength);
  Write(node, out);
  if (truncated != nullptr) *truncated = out.full();
  return out.text();
}

CborDiagnosticResult CborDiagnostic(const uint8_t* data, size_t size,
                                    const CborDiagnosticLimits& limits) {
  CborDiagnosticResult result;
  CborNode node;
  const CborDecodeResult decoded = CborDecode(data, size, node, limits.maxDepth);
  result.status = decoded.status;
  if (decoded.status != CborDecodeStatus::kOk) return result;
  result.length = decoded.length;
  result.text = CborNodeDiagnostic(node, limits.maxLength, &result.truncated);
  return result;
}

CborDiagnosticResult CborSequenceDiagnostic(const uint8_t* data, size_t size,
                                            const CborDiagnosticLimits& limits) {
  CborDiagnosticResult result;
  Out out(limits.maxLength);
  size_t offset = 0;
  while (offset < size) {
    CborNode node;
    const CborDecodeResult decoded =
        CborDecode(data + offset, size - offset, node, limits.maxDepth);
    if (decoded.status != CborDecodeStatus::kOk) {
      result.status = decoded.status;
      return result;
    }
    if (offset > 0) out.Add(", ");
    if (!out.full()) out.Add(CborNodeDiagnostic(node, limits.maxLength));
    offset += decoded.length;
  }
  result.status = CborDecodeStatus::kOk;
  result.length = offset;
  result.text = out.text();
  result.truncated = out.full();
  return result;
}

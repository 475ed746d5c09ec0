// Text and number formatting shared by messages, the console and the output files.
#include <charconv>
#include <cmath>
#include <cstdio>

#include "base/Base.h"

namespace telvo {

std::string BoolToString(bool flag) { return flag ? "True" : "False"; }

std::string FlagText(bool flag) { return flag ? "TRUE" : "FALSE"; }

std::string IntegerToString(long n) { return std::to_string(n); }

std::string StringFromInt(int n) {
  if (n < 0 || n > 99999) return IntegerToString(n);
  std::string text = "00000";
  for (int pos = 4; pos >= 0; --pos, n /= 10) text[pos] = static_cast<char>('0' + n % 10);
  return text;
}

bool SameString(std::string_view a, std::string_view b) { return a == b; }

std::string Cut(std::string text, size_t max) {
  if (text.size() > max) text.resize(max);
  return text;
}

static std::string PadLeft(std::string text, int width) {
  if (static_cast<int>(text.size()) < width) text.insert(0, width - text.size(), ' ');
  return text;
}

std::string Fixed(double x, int width, int decimals) {
  if (std::isnan(x)) return PadLeft("NaN", width);
  if (std::isinf(x)) return PadLeft(x > 0 ? "Inf" : "-Inf", width);
  if (x == 0) x = 0.0;  // no sign for a negative zero
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%*.*f", width, decimals, x);
  return buffer;
}

// Turns printf's "d.dddE-dd" into the program's form: sign or blank, mantissa, E, sign, 3+ digits.
static std::string SciFromPrintf(const char* printed) {
  std::string text = printed;
  std::string sign = " ";
  if (text[0] == '-') {
    sign = "-";
    text.erase(0, 1);
  }
  size_t e = text.find('E');
  std::string mantissa = text.substr(0, e);
  char expSign = text[e + 1];
  std::string digits = text.substr(e + 2);
  while (digits.size() < 3) digits.insert(0, "0");
  return sign + mantissa + "E" + expSign + digits;
}

std::string Sci(double x) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.14E", x == 0 ? 0.0 : x);
  return SciFromPrintf(buffer);
}

std::string SciScaled(double scaledMantissa, int64_t binaryExponent) {
  if (scaledMantissa == 0) return Sci(0.0);
  int shift = 0;
  long double m = std::frexp(static_cast<long double>(scaledMantissa), &shift);
  int64_t e = binaryExponent + shift;
  char buffer[64];
  if (e > -16380 && e < 16380) {
    // Exact in extended precision, so the decimal digits are those of the true value.
    std::snprintf(buffer, sizeof buffer, "%.14LE", std::ldexp(m, static_cast<int>(e)));
    return SciFromPrintf(buffer);
  }
  // Beyond even the extended range: decimal exponent and digits from the logarithm.
  long double log10v =
      std::log10(std::fabs(m)) + static_cast<long double>(e) * 0.30102999566398119521373889472449302677L;
  long double decimal = std::floor(log10v);
  long double digits = std::pow(10.0L, log10v - decimal);
  std::snprintf(buffer, sizeof buffer, "%.14Lf", digits);
  std::string mantissa = buffer;
  if (mantissa.rfind("10.", 0) == 0) {
    mantissa = "1.00000000000000";
    decimal += 1;
  }
  long long exponent = static_cast<long long>(decimal);
  std::string expDigits = std::to_string(exponent < 0 ? -exponent : exponent);
  while (expDigits.size() < 3) expDigits.insert(0, "0");
  return std::string(m < 0 ? "-" : " ") + mantissa + "E" + (exponent < 0 ? "-" : "+") + expDigits;
}

bool IsDecimalReal(std::string_view text) {
  size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  auto digits = [&] {
    size_t from = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    return i - from;
  };
  if (digits() == 0) return false;
  if (i < text.size() && text[i] == '.') {
    ++i;
    digits();
  }
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (digits() == 0) return false;
  }
  return i == text.size();
}

bool ParseStrictReal(std::string_view text, double& value) {
  if (!IsDecimalReal(text)) return false;
  bool negative = text[0] == '-';
  size_t start = text[0] == '+' || negative ? 1 : 0;
  double parsed = 0;
  auto [end, ec] = std::from_chars(text.data() + start, text.data() + text.size(), parsed);
  if (ec != std::errc() || end != text.data() + text.size() || std::isinf(parsed)) return false;
  value = negative ? -parsed : parsed;
  return true;
}

std::string_view Trimmed(std::string_view text) {
  size_t first = 0, last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= 32) ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32) --last;
  return text.substr(first, last - first);
}

std::string ElapsedText(double seconds) {
  long total = static_cast<long>(seconds);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%02ld:%02ld:%02ld", total / 3600, total % 3600 / 60, total % 60);
  return buffer;
}

size_t Utf8Char(std::string_view text, size_t i, unsigned& code) {
  unsigned char c = text[i];
  size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (n == 0 || i + n > text.size()) return 0;
  code = n == 1 ? c : c & (0x7F >> n);
  for (size_t k = 1; k < n; ++k) {
    unsigned char d = text[i + k];
    if ((d >> 6) != 2) return 0;
    code = code << 6 | (d & 0x3F);
  }
  static const unsigned least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < least[n] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  return n;
}

std::string WithValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    unsigned code = 0;
    size_t n = Utf8Char(text, i, code);
    if (n == 0 || code == 0 || code == 0xFFFE || code == 0xFFFF) {
      out += "\xEF\xBF\xBD";  // U+FFFD
      i += n ? n : 1;
    } else {
      out.append(text.substr(i, n));
      i += n;
    }
  }
  return out;
}

std::string Count(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace telvo

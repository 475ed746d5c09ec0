// Drawing: escaped page text, coordinates, axes with round ticks.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "report/ReportInternal.h"

namespace telvo {

std::string PageText(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    unsigned code = 0;
    size_t n = Utf8Char(text, i, code);
    unsigned char c = text[i];
    // What XML does not take: control characters but TAB, and the non-characters U+FFFE and U+FFFF.
    if (n == 0 || (n == 1 && c < 0x20 && c != '\t') || c == 0x7F || code == 0xFFFE || code == 0xFFFF) {
      out += "\xEF\xBF\xBD";  // U+FFFD
      i += n ? n : 1;
      continue;
    }
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out.append(text.substr(i, n));
    }
    i += n;
  }
  return out;
}

std::string ClippedText(std::string_view text, size_t most) {
  size_t i = 0, count = 0;
  for (; i < text.size() && count < most; ++count) {
    unsigned code = 0;
    size_t n = Utf8Char(text, i, code);
    i += n ? n : 1;
  }
  return i < text.size() ? std::string(text.substr(0, i)) + "…" : std::string(text);
}

std::string Num(double x) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", std::round(x * 10) / 10);
  std::string text = buffer;
  if (text.size() > 2 && text.compare(text.size() - 2, 2, ".0") == 0) text.resize(text.size() - 2);
  return text == "-0" ? "0" : text;
}

double Place(const Axis& a, double value) {
  if (a.Hi == a.Lo) return (a.From + a.To) / 2;
  return a.From + (value - a.Lo) / (a.Hi - a.Lo) * (a.To - a.From);
}

std::vector<double> Ticks(double lo, double hi, int count) {
  if (!(hi > lo) || !std::isfinite(lo) || !std::isfinite(hi)) return {lo};
  double rough = (hi - lo) / count, power = std::pow(10.0, std::floor(std::log10(rough)));
  double step = power * (rough / power <= 1 ? 1 : rough / power <= 2 ? 2 : rough / power <= 5 ? 5 : 10);
  std::vector<double> ticks;
  for (double k = std::ceil(lo / step - 1e-9); k * step <= hi + step * 1e-9; ++k) ticks.push_back(k * step);
  return ticks;
}

std::string TickLabel(double value, const std::vector<double>& ticks) {
  double step = ticks.size() > 1 ? ticks[1] - ticks[0] : 1;
  int decimals = std::max(0, static_cast<int>(std::ceil(-std::log10(step) - 1e-9)));
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, std::fabs(value) < step * 1e-9 ? 0.0 : value);
  return buffer;
}

std::string SvgStart(const Plot& p, const char* cls, const std::string& attributes, const std::string& title) {
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"" + std::string(cls) + "\" width=\"" + Num(p.Width) +
         "\" height=\"" + Num(p.Height) + "\" viewBox=\"0 0 " + Num(p.Width) + " " + Num(p.Height) + "\"" + attributes +
         ">\n<text class=\"heading\" x=\"" + Num(p.X.From) + "\" y=\"16\">" + title + "</text>\n";
}

std::string Frame(const Plot& p, const std::string& xLabel, const std::string& yLabel) {
  const double bottom = p.Y.From, top = p.Y.To, left = p.X.From, right = p.X.To;
  std::string out = "<g class=\"axis\">\n<path d=\"M" + Num(left) + " " + Num(bottom) + "H" + Num(right) + "\"/>\n";
  std::vector<double> xs = Ticks(p.X.Lo, p.X.Hi, std::clamp(static_cast<int>((right - left) / 45), 3, 8));
  for (double x : xs)
    out += "<path d=\"M" + Num(Place(p.X, x)) + " " + Num(bottom) + "v5\"/><text x=\"" + Num(Place(p.X, x)) +
           "\" y=\"" + Num(bottom + 17) + "\" text-anchor=\"middle\">" + TickLabel(x, xs) + "</text>\n";
  out += "<text class=\"label\" x=\"" + Num((left + right) / 2) + "\" y=\"" + Num(bottom + 34) +
         "\" text-anchor=\"middle\">" + xLabel + "</text>\n";
  if (!yLabel.empty()) {
    out += "<path d=\"M" + Num(left) + " " + Num(bottom) + "V" + Num(top) + "\"/>\n";
    std::vector<double> ys = Ticks(p.Y.Lo, p.Y.Hi, 5);
    for (double y : ys)
      out += "<path d=\"M" + Num(left) + " " + Num(Place(p.Y, y)) + "h-5\"/><text x=\"" + Num(left - 8) + "\" y=\"" +
             Num(Place(p.Y, y) + 4) + "\" text-anchor=\"end\">" + TickLabel(y, ys) + "</text>\n";
    double middle = (top + bottom) / 2;
    out += "<text class=\"label\" transform=\"translate(12 " + Num(middle) + ") rotate(-90)\" text-anchor=\"middle\">" +
           yLabel + "</text>\n";
  }
  return out + "</g>\n";
}

std::string VerticalLine(const Plot& p, double x, const char* cls) {
  return "<path class=\"" + std::string(cls) + "\" d=\"M" + Num(Place(p.X, x)) + " " + Num(p.Y.From) + "V" +
         Num(p.Y.To) + "\"/>\n";
}

}  // namespace telvo

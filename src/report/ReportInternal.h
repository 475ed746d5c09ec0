// The report's drawing: escaped page text, coordinates, axes with round ticks (ReportSvg.cpp).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "report/Report.h"

namespace telvo {

// --- Drawing (ReportSvg.cpp) ---
// Text for the page: valid UTF-8 kept, other bytes and control characters as U+FFFD, & < > " ' escaped.
std::string PageText(std::string_view text);
std::string ClippedText(std::string_view text, size_t most);  // at most that many characters, "…" when cut
std::string Num(double x);                                    // a coordinate, to a tenth of a pixel

// A data range drawn onto a pixel range.
struct Axis {
  double Lo, Hi;    // data range
  double From, To;  // pixels of Lo and Hi
};
double Place(const Axis& axis, double value);  // pixel of a value
// About `count` round tick values (1, 2 or 5 times a power of ten apart) within [lo, hi].
std::vector<double> Ticks(double lo, double hi, int count);
std::string TickLabel(double value, const std::vector<double>& ticks);  // as many decimals as the step needs

// A plot area and the svg around it.
struct Plot {
  Axis X, Y;             // Y.From is the bottom of the plot area
  double Width, Height;  // whole svg
};
// The svg's start tag with its class, extra attributes (already page text) and a title heading.
std::string SvgStart(const Plot& plot, const char* cls, const std::string& attributes, const std::string& title);
// Axis lines, ticks with labels and the axis titles; yLabel empty leaves the y axis out.
std::string Frame(const Plot& plot, const std::string& xLabel, const std::string& yLabel);
std::string VerticalLine(const Plot& plot, double x, const char* cls);  // across the plot area at a data x

}  // namespace telvo

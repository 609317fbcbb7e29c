#pragma once
// Form designs are in twips (1440 to the inch); windows are in pixels. At 96 DPI a pixel is 15
// twips; at any other DPI the same inch holds dpi pixels.
namespace varnlet::toolkit {

inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kPointsPerInch = 72;

// A rectangle in one unit; the unit is part of the type, so twips never pass for pixels.
enum class Unit { Twips, Pixels };
template <Unit>
struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend constexpr bool operator==(const Rect&, const Rect&) = default;
};
using TwipRect = Rect<Unit::Twips>;
using PixelRect = Rect<Unit::Pixels>;

// Rounds half up, as MulDiv does for the non-negative values a layout holds.
constexpr int TwipsToPixels(int twips, int dpi) { return (twips * dpi + kTwipsPerInch / 2) / kTwipsPerInch; }

// Edges are converted, not sizes, so neighbouring controls never overlap or part by rounding.
constexpr PixelRect ToPixels(const TwipRect& r, int dpi) {
  const int left = TwipsToPixels(r.left, dpi);
  const int top = TwipsToPixels(r.top, dpi);
  return {left, top, TwipsToPixels(r.left + r.width, dpi) - left, TwipsToPixels(r.top + r.height, dpi) - top};
}

// A font's cell height in pixels for a size in hundredths of a point (8.25 pt is 825).
constexpr int FontPixelHeight(int centipoints, int dpi) {
  return (centipoints * dpi + kPointsPerInch * 50) / (kPointsPerInch * 100);
}

}  // namespace varnlet::toolkit

#pragma once

#include <array>
#include <cstdint>
#include <vector>

// 0xAARRGGBB, the same layout as QRgb.
using TAlphaColor = std::uint32_t;

struct TPointF {
  float x = 0;
  float y = 0;
  friend bool operator==(const TPointF&, const TPointF&) = default;
};

using TPolygon = std::vector<TPointF>;

// Stored by value in stroke records and by name in Setup.ini: append only.
enum TPWPenType : std::uint8_t {
  pwNone = 0,
  pwPn,
  pwMk,
  pwEr,
  pwRbPn,
  pwRbMk,
  pwArPn0,
  pwArPn1,
  pwArMk0,
  pwArMk1,
  pwMove,
  pwFunc,
  pwEraseAll,
  pwOpen,
  pwSave,
  pwSaveAs,
  pwUndo,
  pwRedo,
  pwZoom0,
  pwZoom1,
  pwWBrd,
  pwNext,
  pwPrev,
  pwCenter,
  pwLaunch,
  pwMView,
  pwEdit,
  pwTurnR,
  pwTurnL,
  pwMoveV,
  pwMoveH,
  pwLasso,
  pwInfo,
  pwSetup,
  pwPenSetup,
  pwMarkPtr,
  pwMarkIdx,
  pwClose,
  pwApp,
  pwLine,
  pwLineMk,
  pwRect,
  pwRectMk,
  pwEllipse,
  pwEllipseMk,
  pwText,
  pwStep,
  pwSpotlight,
  pwLaser,
};
inline constexpr int PenTypeCount = pwLaser + 1;

enum TStrokeDash : std::uint8_t {
  sdSolid = 0,
  sdDash,
  sdDot,
  sdDashDot,
  sdDashDotDot,
  sdCustom,
};

struct TPWMenuItem {
  TPWPenType PenType = pwNone;
  TAlphaColor PenColor = 0;
  float PenThickness = 0;
  TStrokeDash PenDash = sdSolid;
  friend bool operator==(const TPWMenuItem&, const TPWMenuItem&) = default;
};

inline constexpr std::array<TAlphaColor, 7> RainbowColors = {
    0xFFFF00FF,  // magenta
    0xFFFF0000,  // red
    0xFFFF6600,  // orange
    0xFFFFFF00,  // yellow
    0xFF00FF00,  // green
    0xFF0000FF,  // blue
    0xFF6666CC,  // violet
};

// Types that draw a stroke; every stroke record carries one of them.
constexpr bool IsShapeKind(TPWPenType t) { return t >= pwLine && t <= pwStep; }
constexpr bool IsStrokeKind(TPWPenType t) { return (t >= pwPn && t <= pwArMk1) || IsShapeKind(t); }
constexpr bool IsDrawingTool(TPWPenType t) { return IsStrokeKind(t) || t == pwLasso || t == pwLaser; }
constexpr bool IsRainbow(TPWPenType t) { return t == pwRbPn || t == pwRbMk; }
constexpr bool IsMarkerKind(TPWPenType t) {
  return t == pwMk || t == pwRbMk || t == pwArMk0 || t == pwArMk1 || t == pwLineMk || t == pwRectMk ||
         t == pwEllipseMk;
}
constexpr bool IsArrowKind(TPWPenType t) { return t >= pwArPn0 && t <= pwArMk1; }
constexpr bool HasStartHead(TPWPenType t) { return t == pwArPn1 || t == pwArMk1; }

// On/off lengths in multiples of the stroke width, starting with "on";
// empty for a solid line.
std::vector<float> DashLengths(TStrokeDash dash);

// The progress window's fixed numbers and texts, in one place. Portable: the Win32 code checks
// its own constants against these with static_asserts, and the geometry is tested natively.
#pragma once

#include <cstdint>

namespace progress {

// Every position and size is given on a 640 x 480 design grid and scaled to the real screen.
inline constexpr int32_t kGridWidth = 640;
inline constexpr int32_t kGridHeight = 480;

// The progress window: centred, 320 x 110 grid units.
inline constexpr int32_t kWindowWidth = 320;
inline constexpr int32_t kWindowHeight = 110;
inline constexpr uint32_t kWindowStyle = 0x10C00000;  // WS_VISIBLE | WS_CAPTION: no system menu
inline constexpr uint32_t kClassStyle = 0x0003;       // CS_HREDRAW | CS_VREDRAW

// The two controls, in the window's client coordinates (grid units).
struct ControlLayout {
  const char* className;
  uint32_t style;
  uint32_t id;
  int32_t x, y, width, height;
};
inline constexpr ControlLayout kLabel = {"STATIC", 0x50000000, 100, 20, 20, 280, 20};  // WS_CHILD | WS_VISIBLE | SS_LEFT
inline constexpr ControlLayout kBar = {"msctls_progress32", 0x50000001, 200, 20, 50, 280, 18};  // ... | PBS_SMOOTH

// The bar counts whole percents and never shows an empty bar.
inline constexpr int32_t kBarLow = 0;
inline constexpr int32_t kBarHigh = 100;
inline constexpr int32_t kBarFirstPosition = 1;
static_assert(kBarLow < kBarFirstPosition && kBarFirstPosition <= kBarHigh);

inline constexpr uint32_t kThreadStackSize = 0x100000;  // 1 MiB

inline constexpr const char* kClassName = "TarLoomSelfExtractProgressDialog";
inline constexpr const char* kIconName = "TARNBY";
inline constexpr const char* kFirstCaption = "Extracting Files";
inline constexpr const char* kCaption = "Extracting Files...";
inline constexpr const char* kThreadFailureText = "Could Not Create Progress Thread";
inline constexpr const char* kThreadFailureCaption = "Tarnby Setup";

}  // namespace progress

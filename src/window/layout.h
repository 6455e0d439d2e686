// The update window's geometry in pixels: the outer size, the centred origin and the
// controls' places in the client area. The stored description (updater.rc) counts in
// dialog units, which depend on the font, so the window lays itself out from this table.
#pragma once

#include <array>

struct PixelRect {
  int id;  // control id from resource.h
  int left;
  int top;
  int width;
  int height;
};

constexpr int kWindowWidth = 319;
constexpr int kWindowHeight = 103;

// The four visual controls, from the bottom of the z-order to the top: the percentage
// label comes after the bar so it is drawn over it.
const std::array<PixelRect, 4>& ControlLayout();

struct Origin {
  int left;
  int top;
};

// (screen - window) / 2 in whole pixels, rounded towards zero as integer division does.
Origin CentredOrigin(int screenWidth, int screenHeight);

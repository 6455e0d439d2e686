#include "window/layout.h"

#include "window/resource.h"

const std::array<PixelRect, 4>& ControlLayout() {
  static const std::array<PixelRect, 4> layout = {{
      {进度条_下载进度, 7, 8, 299, 20},
      {透明标签_百分比, 131, 8, 50, 20},
      {标签_状态, 7, 30, 299, 22},
      {超级链接, 7, 54, 299, 20},
  }};
  return layout;
}

Origin CentredOrigin(int screenWidth, int screenHeight) {
  return {(screenWidth - kWindowWidth) / 2, (screenHeight - kWindowHeight) / 2};
}

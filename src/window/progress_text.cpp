#include "window/progress_text.h"

#include "download/transfer.h"
#include "text/text.h"

std::int32_t KiloFigure(std::int32_t bytes) {
  return FloorToInteger(static_cast<double>(bytes) / 1000.0);
}

std::string PercentText(std::int32_t percent) { return text::FromInt(percent) + "%"; }

std::string StatusLine(std::int32_t speed, std::int32_t totalBytes, std::int32_t doneBytes) {
  // The three figures are computed in this order: speed, size, done.
  const std::int32_t speedFigure = KiloFigure(speed);
  const std::int32_t sizeFigure = KiloFigure(totalBytes);
  const std::int32_t doneFigure = KiloFigure(doneBytes);
  std::string line = "\xD5\xFD\xD4\xDA\xB8\xFC\xD0\xC2\xA3\xBA";  // 正在更新：
  line += text::FromInt(speedFigure);
  line += " KB/S \xB4\xF3\xD0\xA1\xA3\xBA";  // " KB/S 大小："
  line += text::FromInt(sizeFigure);
  line += " KB \xD2\xD1\xCF\xC2\xD4\xD8\xA3\xBA";  // " KB 已下载："
  line += text::FromInt(doneFigure);
  line += " KB";
  return line;
}

// The texts of the progress display: the percentage over the bar and the status line.
// Windows-free so the host build can test them byte for byte.
#pragma once

#include <cstdint>
#include <string>

// The value divided by 1000 (not 1024) and rounded down: 999 gives 0, -1 gives -1.
std::int32_t KiloFigure(std::int32_t bytes);

// "57%": the decimal text of the percent followed by "%".
std::string PercentText(std::int32_t percent);

// "正在更新：<speed> KB/S 大小：<size> KB 已下载：<done> KB" in GBK bytes, full-width
// colons, each figure a KiloFigure.
std::string StatusLine(std::int32_t speed, std::int32_t totalBytes, std::int32_t doneBytes);

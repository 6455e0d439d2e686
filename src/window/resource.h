// Identifiers of the update window's stored description, shared by updater.rc and the
// code. The controls keep their stored names; test programs that drive the window find
// its controls by these numbers.
#pragma once

#define IDD_UPDATER_WINDOW 100

#define 进度条_下载进度 1001
#define 透明标签_百分比 1002
#define 标签_状态 1003
#define 超级链接 1004


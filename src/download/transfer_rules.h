// The arithmetic of following a transfer, free of Windows so that both builds test it.
#pragma once

#include <cstdint>

#include "startup/globals.h"

// FloorToInteger of done / total x 100, divided first; 0 while the total is 0.
std::int32_t PercentOf(std::int32_t doneBytes, std::int32_t totalBytes);

// The state the end event leaves: Complete only when the size was reported (the state
// had become Started) and exactly that many bytes arrived. A transfer that ended before
// any size was reported (server down, 404, save file not creatable) is Incomplete: its
// 0 bytes "equal" to a total of 0 are no package.
TransferStateValue EndState(std::int32_t stateBefore, std::int64_t doneLength,
                            std::int32_t totalBytes);

// A 64-bit count as the program's 32-bit figures hold it.
std::int32_t ToFigure(std::int64_t value);

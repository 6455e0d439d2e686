#include "download/transfer_rules.h"

#include "download/transfer.h"

std::int32_t PercentOf(std::int32_t doneBytes, std::int32_t totalBytes) {
  const double share = static_cast<double>(doneBytes) / static_cast<double>(totalBytes);
  return FloorToInteger(share * 100.0);
}

TransferStateValue EndState(std::int32_t stateBefore, std::int64_t doneLength,
                            std::int32_t totalBytes) {
  return stateBefore == Started && doneLength == totalBytes ? Complete : Incomplete;
}

std::int32_t ToFigure(std::int64_t value) {
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

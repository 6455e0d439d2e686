#include "components/download/range_pool.h"

namespace dl {

int RangePool::Reset(std::int64_t size, int parts, int firstOwner) {
  std::lock_guard lock(mutex_);
  ranges_.clear();
  if (parts < 1) parts = 1;
  for (int i = 0; i < parts; ++i) {
    Range range;
    range.pos = size * i / parts;
    range.end = size * (i + 1) / parts;
    ranges_.push_back(range);
  }
  ranges_[0].owner = firstOwner;
  ranges_[0].confirmed = true;
  return 0;
}

std::optional<Claim> RangePool::Take(int connection, std::int64_t minSplit) {
  std::lock_guard lock(mutex_);
  int best = -1;
  for (int i = 0; i < static_cast<int>(ranges_.size()); ++i) {
    const auto& r = ranges_[i];
    if (r.owner == kNobody && r.pos < r.end && (best < 0 || r.pos < ranges_[best].pos)) best = i;
  }
  if (best >= 0) {
    ranges_[best].owner = connection;
    ranges_[best].confirmed = false;
    return Claim{best, ranges_[best].pos, ranges_[best].end};
  }
  for (int i = 0; i < static_cast<int>(ranges_.size()); ++i) {
    const auto& r = ranges_[i];
    if (r.owner != kNobody && r.confirmed &&
        (best < 0 || r.end - r.pos > ranges_[best].end - ranges_[best].pos))
      best = i;
  }
  if (best < 0) return std::nullopt;
  auto& victim = ranges_[best];
  const auto half = (victim.end - victim.pos) / 2;
  if (half < minSplit || half <= 0) return std::nullopt;
  Range taken;
  taken.pos = victim.end - half;
  taken.end = victim.end;
  taken.owner = connection;
  victim.end = taken.pos;
  ranges_.push_back(taken);
  const int id = static_cast<int>(ranges_.size()) - 1;
  return Claim{id, taken.pos, taken.end};
}

bool RangePool::Confirm(int id, int connection) {
  std::lock_guard lock(mutex_);
  auto& r = ranges_.at(id);
  if (r.owner != connection) return false;
  r.confirmed = true;
  return true;
}

void RangePool::Release(int id, int connection) {
  std::lock_guard lock(mutex_);
  auto& r = ranges_.at(id);
  if (r.owner != connection) return;
  r.owner = kNobody;
  r.confirmed = false;
}

std::int64_t RangePool::Advance(int id, int connection, std::int64_t n) {
  std::lock_guard lock(mutex_);
  auto& r = ranges_.at(id);
  if (r.owner != connection || !r.confirmed) return 0;
  const auto room = r.end - r.pos;
  const auto taken = n < room ? n : room;
  r.pos += taken;
  return taken;
}

void RangePool::Rewind(int id, int connection, std::int64_t pos) {
  std::lock_guard lock(mutex_);
  auto& r = ranges_.at(id);
  if (r.owner == connection && pos < r.pos) r.pos = pos;
}

bool RangePool::Extend(int id, int connection) {
  std::lock_guard lock(mutex_);
  auto& r = ranges_.at(id);
  if (r.owner != connection || !r.confirmed || r.pos != r.end) return false;
  for (auto& next : ranges_) {
    if (&next == &r || next.pos != r.end || next.pos >= next.end) continue;
    if (next.owner != kNobody && next.confirmed) return false;
    r.end = next.end;
    next.pos = next.end;  // emptied; a pending claimer finds its claim gone on Confirm
    next.owner = kNobody;
    next.confirmed = false;
    return true;
  }
  return false;
}

std::int64_t RangePool::End(int id) const {
  std::lock_guard lock(mutex_);
  return ranges_.at(id).end;
}

bool RangePool::AllReceived() const {
  std::lock_guard lock(mutex_);
  for (const auto& r : ranges_) {
    if (r.pos < r.end) return false;
  }
  return !ranges_.empty();
}

}  // namespace dl

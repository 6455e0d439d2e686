// Which connection fetches which bytes of the file. A range is [pos, end): pos is the
// next byte its owner will receive. A claim is pending until the owner's response has
// passed its checks; only a confirmed owner's bytes are written. Thread-safe.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace dl {

struct Claim {
  int id = -1;
  std::int64_t pos = 0;
  std::int64_t end = 0;
};

class RangePool {
 public:
  static constexpr int kNobody = -1;

  // The file's size is known: `parts` equal ranges, the first owned (confirmed) by
  // `firstOwner`, whose stream from 0 is already running. Returns that first range's id.
  int Reset(std::int64_t size, int parts, int firstOwner);

  // Work for `connection`: the lowest range nobody owns, or else the upper half of the
  // largest confirmed range when that half is at least `minSplit` bytes. Pending.
  std::optional<Claim> Take(int connection, std::int64_t minSplit);
  // The response for a pending claim has passed its checks. False: the claim was taken
  // over in the meantime, and nothing of the response may be written.
  bool Confirm(int id, int connection);
  // The owner gives its range back (at the offset it reached) for anyone to continue.
  void Release(int id, int connection);
  // The owner received `n` more bytes: how many of them belong to its range.
  std::int64_t Advance(int id, int connection, std::int64_t n);
  // The owner failed to store bytes from `pos` on: they count as not received.
  void Rewind(int id, int connection, std::int64_t pos);
  // The owner reached its range's end while its stream goes on: it continues into the
  // range right after it when nobody owns that one or its claim is still pending.
  bool Extend(int id, int connection);

  std::int64_t End(int id) const;
  // Every byte has been received (ranges only; the owner writes what it received).
  bool AllReceived() const;

 private:
  struct Range {
    std::int64_t pos = 0;
    std::int64_t end = 0;
    int owner = kNobody;
    bool confirmed = false;
  };
  mutable std::mutex mutex_;
  std::vector<Range> ranges_;
};

}  // namespace dl

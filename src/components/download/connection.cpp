#include "components/download/connection.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "components/download/task_core.h"
#include "components/download/transport.h"

namespace dl {

namespace {

// Ranges smaller than this are not split off for another connection: a request costs
// more than it saves.
constexpr std::int64_t kMinPart = 64 * 1024;
constexpr std::int64_t kMinSteal = 256 * 1024;

enum class Mode {
  First,   // no Range header; learns the size
  Ranged,  // "Range: bytes=from-"
  Whole,   // no Range header once the size is known: the server ignores ranges, or
           // announced no length; the bytes before `from` are read and dropped
};

// Lost: nothing to write from this attempt, and no failure either (the claim was taken
// over, or the request form must change): look for work again at once.
enum class Result { RangeDone, Failed, Abandoned, Lost, NoWork, Stopped };

class Connection final : public Sink {
 public:
  Connection(std::shared_ptr<Task> task, int index)
      : task_(std::move(task)), state_(task_->connection(index)), index_(index) {}

  ~Connection() override { SetBuffered(0); }

  void Run();

 private:
  bool Head(const ResponseHead& head) override;
  std::span<char> Room() override;
  bool Commit(std::size_t n) override;
  void Wire(std::size_t n) override { CountWire(static_cast<std::int64_t>(n)); }
  bool Stopping() override { return task_->Stopping(); }
  void Log(int level, const std::string& message) override {
    task_->PostLog(&state_, level, message);
  }

  Result Attempt();
  bool Flush();
  // Keeps the task's count of received but not yet written bytes in step with the buffer.
  void SetBuffered(std::size_t n) {
    task_->AddBuffered(static_cast<std::int64_t>(n) - static_cast<std::int64_t>(buffered_));
    buffered_ = n;
  }
  bool PrepareFile(const ResponseHead& head, std::int64_t size);
  Request MakeRequest(std::int64_t rangeFrom) const;
  bool Sleep(int ms);  // false when told to stop meanwhile

  std::shared_ptr<Task> task_;
  ConnectionState& state_;
  const int index_;
  std::unique_ptr<Transport> transport_;
  std::vector<char> buffer_;
  std::size_t buffered_ = 0;
  int rangesBegun_ = 0;
  std::int64_t periodStart_ = 0;
  std::int64_t periodBytes_ = 0;

  // The attempt under way.
  Mode mode_ = Mode::First;
  int rangeId_ = -1;            // -1: the size is not known, the stream has no end
  std::int64_t from_ = 0;       // first byte to keep
  std::int64_t streamAt_ = 0;   // file offset of the next byte the response delivers
  std::int64_t announcedEnd_ = -1;
  bool accepted_ = false;
  bool rangeDone_ = false;
  bool writeFailed_ = false;
  bool abandoned_ = false;
  bool lost_ = false;
  bool counted_ = false;
};

Request Connection::MakeRequest(std::int64_t rangeFrom) const {
  const auto& s = task_->settings();
  Request r;
  r.url = s.url;
  r.host = task_->address().host;
  r.port = task_->address().port;
  r.path = task_->address().path;
  r.referer = s.referer.empty() ? DefaultReferer(s.url) : s.referer;
  if (auto proxy = ParseProxy(s.proxy)) {
    r.proxyHost = proxy->host;
    r.proxyPort = proxy->port;
  }
  r.rangeFrom = rangeFrom;
  r.connectTimeout = s.connectTimeout;
  r.sendTimeout = s.sendTimeout;
  r.receiveTimeout = s.receiveTimeout;
  r.readChunk = s.readChunk;
  return r;
}

bool Connection::Sleep(int ms) {
  const auto until = SteadyMs() + ms;
  while (SteadyMs() < until) {
    if (task_->Stopping()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return !task_->Stopping();
}

void Connection::Run() {
  const auto& s = task_->settings();
  task_->Post(5, &state_, 0, 0);
  Result last = Result::Stopped;
  int failures = 0;
  try {
    transport_ = MakeTransport();
    buffer_.resize(static_cast<std::size_t>(s.bufferSize));
    while (!task_->Stopping()) {
      last = Attempt();
      if (last == Result::RangeDone || last == Result::Lost) continue;
      if (last == Result::NoWork || last == Result::Stopped) break;
      if (last == Result::Abandoned) {
        task_->RequestStop();
        break;
      }
      if (++failures > s.retryCount) break;
      if (!Sleep(s.retryWait)) break;
    }
  } catch (...) {
    last = Result::Failed;  // out of memory: this connection ends, the task goes on
  }
  transport_.reset();
  task_->Post(last == Result::Failed ? 9 : 8, &state_, streamAt_, 0);
  task_->ConnectionEnded(state_);
}

Result Connection::Attempt() {
  mode_ = Mode::First;
  rangeId_ = -1;
  from_ = 0;
  streamAt_ = 0;
  announcedEnd_ = -1;
  SetBuffered(0);
  accepted_ = rangeDone_ = writeFailed_ = abandoned_ = lost_ = counted_ = false;

  const auto size = task_->Size();
  std::int64_t rangeFrom = -1;
  if (!task_->File()) {
    if (index_ != 0) return Result::NoWork;
  } else if (size < 0) {
    if (index_ != 0) return Result::NoWork;
    mode_ = Mode::Whole;  // no length known: start over and drop what is already saved
    from_ = task_->Done();
  } else {
    if (task_->RangesIgnored() && index_ != 0) return Result::NoWork;
    const auto claim = task_->pool().Take(index_, kMinSteal);
    if (!claim) return Result::NoWork;
    rangeId_ = claim->id;
    from_ = claim->pos;
    if (task_->RangesIgnored()) {
      mode_ = Mode::Whole;
    } else {
      mode_ = Mode::Ranged;
      rangeFrom = claim->pos;
      streamAt_ = claim->pos;
    }
    task_->Post(rangesBegun_++ == 0 ? 6 : 7, &state_, claim->pos, claim->end);
  }

  const auto outcome = transport_->Fetch(MakeRequest(rangeFrom), *this);
  if (counted_) --task_->active;
  Flush();
  if (accepted_ && rangeId_ >= 0 && outcome == Outcome::Ended && !writeFailed_ &&
      streamAt_ == task_->pool().End(rangeId_))
    rangeDone_ = true;  // an empty range, or a response that ended right at its end
  if (abandoned_) return Result::Abandoned;
  if (lost_) return Result::Lost;
  if (rangeDone_ && !writeFailed_) return Result::RangeDone;
  if (accepted_ && rangeId_ < 0 && outcome == Outcome::Ended && !writeFailed_) {
    // A body without a length has ended cleanly: now its size is known.
    task_->SetSize(streamAt_);
    return Result::RangeDone;
  }
  if (rangeId_ >= 0) task_->pool().Release(rangeId_, index_);
  if (task_->Stopping()) return Result::Stopped;
  // The server ignores ranges: only the first connection goes on, reading whole
  // responses from here on, and at once, since nothing failed that waiting would mend.
  if (mode_ == Mode::Ranged && task_->RangesIgnored())
    return index_ == 0 ? Result::Lost : Result::NoWork;
  if (accepted_ && outcome == Outcome::Ended) Log(3, "the body ended before its announced end");
  return Result::Failed;
}

bool Connection::PrepareFile(const ResponseHead& head, std::int64_t size) {
  const auto& s = task_->settings();
  std::string path = s.savePath;
  if (IsFolderPath(path)) {
    auto name = SafeFileName(head.fileName);
    if (name.empty()) name = SafeFileName(FileNameFromAddress(s.url));
    if (name.empty()) name = "download";
    path += name;
  }
  if (FileExists(path)) {
    const int answer = task_->Ask(18, &state_, FileLength(path), size);
    if (answer == 1) {
      abandoned_ = true;
      return false;
    }
    if (answer == 0) {
      std::string free;
      for (int n = 1; n <= 99 && free.empty(); ++n) {
        auto candidate = NumberedName(path, n);
        if (!FileExists(candidate)) free = std::move(candidate);
      }
      if (free.empty()) {
        Log(3, "no free name for the save file beside " + path);
        return false;
      }
      path = std::move(free);
    } else if (answer != 2) {
      return false;
    }
  }
  auto file = SaveFile::Create(path, size);
  if (!file) {
    Log(3, "cannot create the save file " + path);
    return false;
  }
  Log(0, "saving to " + path);
  task_->SetFile(std::move(file));
  return true;
}

bool Connection::Head(const ResponseHead& head) {
  const auto size = task_->Size();
  Verdict verdict = Verdict::Accept;
  switch (mode_) {
    case Mode::First:
      verdict = CheckFirstResponse(head);
      break;
    case Mode::Ranged:
      verdict = CheckRangedResponse(head, from_, size);
      if (verdict == Verdict::RangesIgnored) task_->SetRangesIgnored();
      break;
    case Mode::Whole:
      verdict = CheckWholeResponse(head, size);
      break;
  }
  if (verdict != Verdict::Accept) {
    Log(3, std::string("response refused: ") + VerdictText(verdict) + " (status " +
               std::to_string(head.status) + ")");
    return false;
  }
  if (mode_ == Mode::First) {
    const auto length = head.contentLength;
    if (!PrepareFile(head, length)) return false;
    if (length >= 0) {
      const int count = task_->settings().connectionCount;
      const auto parts = static_cast<int>(std::clamp<std::int64_t>(length / kMinPart, 1, count));
      rangeId_ = task_->pool().Reset(length, parts, index_);
      task_->SetSize(length);
      task_->Post(6, &state_, 0, task_->pool().End(rangeId_));
      ++rangesBegun_;
      task_->StartHelpers(parts);
    }
  } else if (rangeId_ >= 0 && !task_->pool().Confirm(rangeId_, index_)) {
    lost_ = true;  // another connection's stream has reached this range first
    return false;
  }
  announcedEnd_ = AnnouncedEnd(head);
  if (mode_ == Mode::Whole && announcedEnd_ >= 0 && announcedEnd_ < from_) return false;
  accepted_ = true;
  counted_ = true;
  ++task_->active;
  return true;
}

std::span<char> Connection::Room() {
  if (task_->Stopping() || writeFailed_) return {};
  std::size_t size = std::min<std::size_t>(task_->settings().readChunk, buffer_.size() - buffered_);
  const int limit = task_->settings().speedLimit;
  if (limit > 0) {
    // An equal share of the limit per one-second period; the rest of the period is slept out.
    auto now = SteadyMs();
    for (;;) {
      if (now - periodStart_ >= 1000) {
        periodStart_ = now;
        periodBytes_ = 0;
      }
      const std::int64_t share = std::max(1, limit / std::max(1, task_->active.load()));
      if (periodBytes_ < share) {
        size = static_cast<std::size_t>(std::min<std::int64_t>(size, share - periodBytes_));
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      if (task_->Stopping()) return {};
      now = SteadyMs();
    }
  }
  return {buffer_.data() + buffered_, size};
}

bool Connection::Commit(std::size_t n) {
  periodBytes_ += static_cast<std::int64_t>(n);
  char* data = buffer_.data() + buffered_;
  if (streamAt_ < from_) {  // Whole mode: bytes already saved are dropped
    const auto skip = static_cast<std::size_t>(std::min<std::int64_t>(n, from_ - streamAt_));
    streamAt_ += static_cast<std::int64_t>(skip);
    n -= skip;
    if (n == 0) return true;
    std::memmove(data, data + skip, n);
  }
  if (rangeId_ < 0) {  // no known end
    SetBuffered(buffered_ + n);
    streamAt_ += static_cast<std::int64_t>(n);
    return buffered_ < buffer_.size() || Flush();
  }
  auto& pool = task_->pool();
  std::size_t used = 0;
  while (used < n) {
    const auto k = pool.Advance(rangeId_, index_, static_cast<std::int64_t>(n - used));
    if (k == 0) {
      if (!pool.Extend(rangeId_, index_)) break;
      continue;
    }
    used += static_cast<std::size_t>(k);
  }
  SetBuffered(buffered_ + used);
  streamAt_ += static_cast<std::int64_t>(used);
  if (used < n) {
    rangeDone_ = true;
    Flush();
    return false;
  }
  if (streamAt_ == pool.End(rangeId_) && !pool.Extend(rangeId_, index_)) {
    rangeDone_ = true;
    // Keep the connection for the next request when the response ends here anyway.
    return Flush() && announcedEnd_ == streamAt_;
  }
  return buffered_ < buffer_.size() || Flush();
}

bool Connection::Flush() {
  if (buffered_ == 0) return !writeFailed_;
  const auto offset = streamAt_ - static_cast<std::int64_t>(buffered_);
  const auto file = task_->File();
  if (!file || !file->Write(offset, buffer_.data(), buffered_)) {
    writeFailed_ = true;
    rangeDone_ = false;
    if (rangeId_ >= 0) task_->pool().Rewind(rangeId_, index_, offset);
    streamAt_ = offset;
    SetBuffered(0);
    Log(3, "cannot write the save file");
    return false;
  }
  const auto written = static_cast<std::int64_t>(buffered_);
  SetBuffered(0);
  task_->AddDone(written);
  task_->Post(16, &state_, written, 0);
  return true;
}

}  // namespace

void RunConnection(std::shared_ptr<Task> task, int index) {
  Connection connection(std::move(task), index);
  connection.Run();
}

}  // namespace dl

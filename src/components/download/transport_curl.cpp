// libcurl transport (host build). One easy handle per connection, driven through a
// multi handle so that a stop request or a stall is noticed within 50 ms.
#include <curl/curl.h>

#include <cctype>
#include <chrono>
#include <cstring>
#include <mutex>

#include "components/download/transport.h"

namespace dl {

namespace {

using Clock = std::chrono::steady_clock;

bool IsFollowedRedirect(int status, bool hasLocation) {
  return hasLocation && (status == 301 || status == 302 || status == 303 || status == 307 ||
                         status == 308);
}

struct Exchange {
  Sink* sink = nullptr;
  std::string headBlock;
  bool hasLocation = false;
  bool headDone = false;
  bool refused = false;
  Clock::time_point lastActivity;
};

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto& x = *static_cast<Exchange*>(user);
  const size_t n = size * count;
  x.sink->Wire(n);
  x.lastActivity = Clock::now();
  std::string_view line(data, n);
  if (line.substr(0, 5) == "HTTP/") {
    x.headBlock.clear();
    x.hasLocation = false;
  }
  if (line.size() >= 9) {
    std::string name(line.substr(0, 9));
    for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name == "location:") x.hasLocation = true;
  }
  x.headBlock.append(line);
  if (line == "\r\n" || line == "\n") {
    const auto head = ParseResponseHead(x.headBlock);
    if (head.status >= 100 && head.status < 200) return n;  // interim response
    if (IsFollowedRedirect(head.status, x.hasLocation)) return n;
    x.sink->Log(2, x.headBlock);
    x.headDone = true;
    if (!x.sink->Head(head)) {
      x.refused = true;
      return 0;  // abort before any body byte
    }
  }
  return n;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto& x = *static_cast<Exchange*>(user);
  const size_t n = size * count;
  x.sink->Wire(n);
  x.lastActivity = Clock::now();
  if (!x.headDone) {  // a body with no head we saw (HTTP/0.9): not ours to take
    x.refused = true;
    return 0;
  }
  size_t used = 0;
  while (used < n) {
    const auto room = x.sink->Room();
    if (room.empty()) {
      x.refused = true;
      return 0;
    }
    const size_t k = room.size() < n - used ? room.size() : n - used;
    std::memcpy(room.data(), data + used, k);
    used += k;
    if (!x.sink->Commit(k)) {
      x.refused = true;
      return 0;
    }
  }
  return n;
}

class CurlTransport final : public Transport {
 public:
  CurlTransport() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_NOTHING); });
    easy_ = curl_easy_init();
    multi_ = curl_multi_init();
  }
  ~CurlTransport() override {
    curl_multi_cleanup(multi_);
    curl_easy_cleanup(easy_);
  }
  CurlTransport(const CurlTransport&) = delete;
  CurlTransport& operator=(const CurlTransport&) = delete;

  Outcome Fetch(const Request& request, Sink& sink) override {
    if (!easy_ || !multi_) return Outcome::Failed;
    Exchange x;
    x.sink = &sink;
    x.lastActivity = Clock::now();
    curl_easy_reset(easy_);
    curl_easy_setopt(easy_, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy_, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(easy_, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy_, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy_, CURLOPT_ACCEPT_ENCODING, "identity");
    curl_easy_setopt(easy_, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeout));
    curl_easy_setopt(easy_, CURLOPT_BUFFERSIZE, static_cast<long>(request.readChunk));
    if (!request.referer.empty()) curl_easy_setopt(easy_, CURLOPT_REFERER, request.referer.c_str());
    std::string proxy;
    if (!request.proxyHost.empty()) {
      proxy = "http://" + request.proxyHost + ":" + std::to_string(request.proxyPort);
      curl_easy_setopt(easy_, CURLOPT_PROXY, proxy.c_str());
    } else {
      curl_easy_setopt(easy_, CURLOPT_PROXY, "");  // ignore proxy variables of the environment
    }
    std::string range;
    if (request.rangeFrom >= 0) {
      range = std::to_string(request.rangeFrom) + "-";
      curl_easy_setopt(easy_, CURLOPT_RANGE, range.c_str());
    }
    curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(easy_, CURLOPT_HEADERDATA, &x);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, &x);
    sink.Log(1, "GET " + request.url + (range.empty() ? "" : " Range: bytes=" + range));

    curl_multi_add_handle(multi_, easy_);
    bool stopped = false, stalled = false;
    int running = 1;
    while (running) {
      if (curl_multi_perform(multi_, &running) != CURLM_OK) break;
      if (!running) break;
      if (sink.Stopping()) {
        stopped = true;
        break;
      }
      // Before the head, the connect and send allowances add to the receive time-out.
      const auto limit = std::chrono::milliseconds(
          request.receiveTimeout +
          (x.headDone ? 0 : request.connectTimeout + request.sendTimeout));
      if (Clock::now() - x.lastActivity > limit) {
        stalled = true;
        break;
      }
      curl_multi_poll(multi_, nullptr, 0, 50, nullptr);
    }
    CURLcode result = CURLE_OK;
    bool finished = false;
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi_, &left)) {
      if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy_) {
        result = msg->data.result;
        finished = true;
      }
    }
    curl_multi_remove_handle(multi_, easy_);
    if (x.refused) return Outcome::Stopped;
    if (stopped) return Outcome::Stopped;
    if (stalled) {
      sink.Log(3, "no data within the receive time-out");
      return Outcome::Failed;
    }
    if (!finished || result != CURLE_OK) {
      sink.Log(3, std::string("transfer failed: ") +
                      (finished ? curl_easy_strerror(result) : "interrupted"));
      return Outcome::Failed;
    }
    if (!x.headDone) return Outcome::Failed;
    return Outcome::Ended;
  }

 private:
  CURL* easy_ = nullptr;
  CURLM* multi_ = nullptr;
};

}  // namespace

std::unique_ptr<Transport> MakeTransport() { return std::make_unique<CurlTransport>(); }

}  // namespace dl

// WinHTTP transport (Windows build). Synchronous calls, each bounded by the task's
// time-outs; a stop request is noticed between two calls. A handle is only ever
// closed by the thread that uses it: closing it from another thread while a call on
// it may still return is what this design avoids.
#include <windows.h>
#include <winhttp.h>

#include <vector>

#include "components/download/transport.h"

namespace dl {

namespace {

// Move-only owner of an HINTERNET.
class Internet {
 public:
  Internet() = default;
  explicit Internet(HINTERNET h) : h_(h) {}
  ~Internet() { reset(); }
  Internet(Internet&& other) noexcept : h_(other.release()) {}
  Internet& operator=(Internet&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Internet(const Internet&) = delete;
  Internet& operator=(const Internet&) = delete;

  void reset(HINTERNET h = nullptr) {
    if (h_) WinHttpCloseHandle(h_);
    h_ = h;
  }
  HINTERNET release() {
    HINTERNET h = h_;
    h_ = nullptr;
    return h;
  }
  HINTERNET get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  HINTERNET h_ = nullptr;
};

std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring result(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(), n);
  return result;
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(), n,
                      nullptr, nullptr);
  return result;
}

std::string ErrorText(const char* call) {
  return std::string(call) + " failed, error " + std::to_string(GetLastError());
}

class WinHttpTransport final : public Transport {
 public:
  Outcome Fetch(const Request& request, Sink& sink) override {
    if (!Prepare(request)) {
      sink.Log(3, ErrorText("WinHttpOpen/WinHttpConnect"));
      return Outcome::Failed;
    }
    Internet req(WinHttpOpenRequest(connect_.get(), L"GET", Wide(request.path).c_str(), nullptr,
                                    request.referer.empty() ? WINHTTP_NO_REFERER
                                                            : Wide(request.referer).c_str(),
                                    WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
    if (!req) {
      sink.Log(3, ErrorText("WinHttpOpenRequest"));
      return Outcome::Failed;
    }
    WinHttpSetTimeouts(req.get(), request.connectTimeout, request.connectTimeout,
                       request.sendTimeout, request.receiveTimeout);
    DWORD redirects = 10;
    WinHttpSetOption(req.get(), WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &redirects,
                     sizeof redirects);
    std::wstring headers = L"Accept-Encoding: identity\r\n";
    if (request.rangeFrom >= 0)
      headers += L"Range: bytes=" + std::to_wstring(request.rangeFrom) + L"-\r\n";
    sink.Log(1, "GET " + request.url +
                    (request.rangeFrom >= 0 ? " Range: bytes=" + std::to_string(request.rangeFrom) + "-"
                                            : ""));
    if (!WinHttpSendRequest(req.get(), headers.c_str(), static_cast<DWORD>(-1), WINHTTP_NO_REQUEST_DATA,
                            0, 0, 0)) {
      sink.Log(3, ErrorText("WinHttpSendRequest"));
      return Outcome::Failed;
    }
    if (sink.Stopping()) return Outcome::Stopped;
    if (!WinHttpReceiveResponse(req.get(), nullptr)) {
      sink.Log(3, ErrorText("WinHttpReceiveResponse"));
      return Outcome::Failed;
    }
    DWORD size = 0;
    WinHttpQueryHeaders(req.get(), WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                        WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
    std::wstring raw(size / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttpQueryHeaders(req.get(), WINHTTP_QUERY_RAW_HEADERS_CRLF,
                             WINHTTP_HEADER_NAME_BY_INDEX, raw.data(), &size,
                             WINHTTP_NO_HEADER_INDEX)) {
      sink.Log(3, ErrorText("WinHttpQueryHeaders"));
      return Outcome::Failed;
    }
    raw.resize(size / sizeof(wchar_t));
    const std::string head = Narrow(raw);
    sink.Wire(head.size());
    sink.Log(2, head);
    if (!sink.Head(ParseResponseHead(head))) return Outcome::Stopped;

    for (;;) {
      if (sink.Stopping()) return Outcome::Stopped;
      DWORD available = 0;
      if (!WinHttpQueryDataAvailable(req.get(), &available)) {
        sink.Log(3, ErrorText("WinHttpQueryDataAvailable"));
        return Outcome::Failed;
      }
      if (available == 0) return Outcome::Ended;
      const auto room = sink.Room();
      if (room.empty()) return Outcome::Stopped;
      const DWORD want = available < room.size() ? available : static_cast<DWORD>(room.size());
      DWORD got = 0;
      if (!WinHttpReadData(req.get(), room.data(), want, &got)) {
        sink.Log(3, ErrorText("WinHttpReadData"));
        return Outcome::Failed;
      }
      if (got == 0) return Outcome::Ended;
      sink.Wire(got);
      if (!sink.Commit(got)) return Outcome::Stopped;
    }
  }

 private:
  // One session and one connection handle, kept while the proxy and the server stay.
  bool Prepare(const Request& request) {
    const std::string proxy =
        request.proxyHost.empty() ? "" : request.proxyHost + ":" + std::to_string(request.proxyPort);
    if (!session_ || proxy != proxy_) {
      connect_.reset();
      session_.reset(proxy.empty()
                         ? WinHttpOpen(L"updater", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0)
                         : WinHttpOpen(L"updater", WINHTTP_ACCESS_TYPE_NAMED_PROXY,
                                       Wide(proxy).c_str(), WINHTTP_NO_PROXY_BYPASS, 0));
      proxy_ = proxy;
    }
    if (!session_) return false;
    WinHttpSetTimeouts(session_.get(), request.connectTimeout, request.connectTimeout,
                       request.sendTimeout, request.receiveTimeout);
    if (!connect_ || host_ != request.host || port_ != request.port) {
      connect_.reset(WinHttpConnect(session_.get(), Wide(request.host).c_str(),
                                    static_cast<INTERNET_PORT>(request.port), 0));
      host_ = request.host;
      port_ = request.port;
    }
    return static_cast<bool>(connect_);
  }

  Internet session_;
  Internet connect_;
  std::string proxy_;
  std::string host_;
  int port_ = 0;
};

}  // namespace

std::unique_ptr<Transport> MakeTransport() { return std::make_unique<WinHttpTransport>(); }

}  // namespace dl

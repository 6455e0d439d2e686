// Where the component meets HTTP: one request, its response head handed over for
// checking before any body byte is taken, then the body poured into the caller's
// buffer. WinHTTP serves the Windows build, libcurl the host build.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "components/download/response.h"

namespace dl {

struct Request {
  std::string url;       // the whole address
  std::string host;      // its parts, for transports that want them apart
  int port = 80;
  std::string path;
  std::string referer;
  std::string proxyHost;  // empty: connect directly
  int proxyPort = 80;
  std::int64_t rangeFrom = -1;  // -1: no Range header
  int connectTimeout = 20000;   // ms
  int sendTimeout = 20000;
  int receiveTimeout = 20000;
  int readChunk = 20480;        // most bytes one receive call asks for
};

class Sink {
 public:
  virtual ~Sink() = default;
  // The final response's head (redirects already followed). False: take no byte of it.
  virtual bool Head(const ResponseHead& head) = 0;
  // Where the next bytes go; at most this many are asked for in one receive call.
  // Empty: stop receiving.
  virtual std::span<char> Room() = 0;
  // `n` bytes landed at the start of Room(). False: stop receiving.
  virtual bool Commit(std::size_t n) = 0;
  // Bytes that came off the wire, headers included.
  virtual void Wire(std::size_t n) = 0;
  // Polled while waiting: true ends the request as soon as it can.
  virtual bool Stopping() = 0;
  virtual void Log(int level, const std::string& message) = 0;
};

enum class Outcome {
  Ended,    // the body ended as its framing says it should
  Stopped,  // the sink refused the head or asked to stop
  Failed,   // connection, protocol or time-out failure
};

class Transport {
 public:
  virtual ~Transport() = default;
  virtual Outcome Fetch(const Request& request, Sink& sink) = 0;
};

// One per connection: it may keep its connection open from one request to the next.
std::unique_ptr<Transport> MakeTransport();

}  // namespace dl

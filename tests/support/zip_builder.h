// Builds ZIP archives in memory for tests, with every field a test may want to falsify
// (CRC, sizes, flags, method). Header-only so any test program can use it; needs zlib.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testzip {

struct Entry {
  Entry(std::string entryName, std::string entryData, std::uint16_t entryMethod = 8,
        std::uint16_t entryFlags = 0)
      : name(std::move(entryName)), data(std::move(entryData)), method(entryMethod),
        flags(entryFlags) {}
  Entry& DeclaringCrc(std::uint32_t value) { crc = value; return *this; }
  Entry& DeclaringSize(std::uint32_t value) { declaredSize = value; return *this; }

  std::string name;
  std::string data;
  std::uint16_t method;                       // 8 deflates; any other number stores the bytes
  std::uint16_t flags;                        // bit 0 encrypted, bit 11 UTF-8 name
  std::optional<std::uint32_t> crc;           // the CRC to declare, when not the true one
  std::optional<std::uint32_t> declaredSize;  // the uncompressed size to declare
};

inline void Put16(std::string& out, std::uint32_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>((v >> 8) & 0xFF);
}
inline void Put32(std::string& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

inline std::string Deflate(const std::string& data) {
  z_stream s{};
  deflateInit2(&s, Z_BEST_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&s, static_cast<uLong>(data.size())) + 16, '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  s.avail_in = static_cast<uInt>(data.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  deflate(&s, Z_FINISH);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

inline std::uint32_t Crc(const std::string& data) {
  return static_cast<std::uint32_t>(
      crc32(0L, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

// Local headers with their data, then the central directory and its end record.
inline std::string Build(const std::vector<Entry>& entries) {
  std::string out;
  std::string central;
  for (const Entry& e : entries) {
    const std::string body = e.method == 8 ? Deflate(e.data) : e.data;
    const std::uint32_t crc = e.crc.value_or(Crc(e.data));
    const std::uint32_t size = e.declaredSize.value_or(static_cast<std::uint32_t>(e.data.size()));
    const auto offset = static_cast<std::uint32_t>(out.size());
    auto common = [&](std::string& h) {
      Put16(h, 20);  // version needed
      Put16(h, e.flags);
      Put16(h, e.method);
      Put16(h, 0);       // time
      Put16(h, 0x21);    // date: 1980-01-01
      Put32(h, crc);
      Put32(h, static_cast<std::uint32_t>(body.size()));
      Put32(h, size);
      Put16(h, static_cast<std::uint32_t>(e.name.size()));
      Put16(h, 0);  // extra field length
    };
    Put32(out, 0x04034b50);
    common(out);
    out += e.name;
    out += body;

    Put32(central, 0x02014b50);
    Put16(central, 20);  // version made by
    common(central);
    Put16(central, 0);  // comment length
    Put16(central, 0);  // disk
    Put16(central, 0);  // internal attributes
    Put32(central, 0);  // external attributes
    Put32(central, offset);
    central += e.name;
  }
  const auto centralOffset = static_cast<std::uint32_t>(out.size());
  out += central;
  Put32(out, 0x06054b50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<std::uint32_t>(entries.size()));
  Put16(out, static_cast<std::uint32_t>(entries.size()));
  Put32(out, static_cast<std::uint32_t>(central.size()));
  Put32(out, centralOffset);
  Put16(out, 0);
  return out;
}

}  // namespace testzip

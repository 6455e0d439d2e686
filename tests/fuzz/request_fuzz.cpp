// Fuzz target of the request reader. The input is read twice:
//  1. as a raw command line: the argument split, the request parse, the package kind,
//     the address check and the file-name part are checked against properties that hold
//     for every command line (and against plain references where the input is ASCII);
//  2. as material for a well-formed request: seven fields taken from the input are
//     written the way a caller writes them (spaces as "<?>", joined by "<#>", cut into
//     arguments at random character boundaries, each quoted or not, between random
//     separators) and must come back from ParseUpdateRequest exactly.
// Any violated property aborts with a message, so libFuzzer keeps the input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "startup/request.h"
#include "text/text.h"

namespace {

[[noreturn]] void Fail(const char* what, std::string_view detail = {}) {
  std::fprintf(stderr, "request_fuzz: %s [%.*s]\n", what, static_cast<int>(detail.size()),
               detail.data());
  std::abort();
}

bool Lead(char c) { return text::IsLeadByte(static_cast<unsigned char>(c)); }

// Length of the character at `i` when the text is walked from its start.
std::size_t CharAt(std::string_view t, std::size_t i) { return Lead(t[i]) && i + 1 < t.size() ? 2 : 1; }

// True when `c` stands at a character boundary somewhere in `t`.
bool HasByteAtBoundary(std::string_view t, char c) {
  for (std::size_t i = 0; i < t.size(); i += CharAt(t, i)) {
    if (t[i] == c) return true;
  }
  return false;
}

std::string Join(const std::vector<std::string>& parts, std::string_view with) {
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out += with;
    out += parts[i];
  }
  return out;
}

// "<?>" to a space, walking characters; written apart from text::ReplaceAll on purpose.
std::string ReferenceUnescape(std::string_view t) {
  std::string out;
  for (std::size_t i = 0; i < t.size();) {
    if (t.substr(i, 3) == "<?>") {
      out += ' ';
      i += 3;
    } else {
      const std::size_t n = CharAt(t, i);
      out.append(t.substr(i, n));
      i += n;
    }
  }
  return out;
}

std::string AsciiLower(std::string_view t) {
  std::string out(t);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool EndsWith(std::string_view t, std::string_view end) {
  return t.size() >= end.size() && t.substr(t.size() - end.size()) == end;
}

void CheckAddressOperations(std::string_view address) {
  const bool httpPrefix = address.size() >= 7 && std::memcmp(address.data(), "http://", 7) == 0;
  if (CheckPackageAddress(address) != httpPrefix) Fail("CheckPackageAddress differs from a byte prefix compare", address);

  const std::string kind = ChoosePackageKind(address);
  if (kind != "" && kind != ".zip" && kind != ".exe") Fail("package kind out of range", kind);
  // Lower-casing every byte finds at least what the double-byte walk finds.
  const std::string lowered = AsciiLower(address);
  if (!kind.empty() && lowered.find(kind) == std::string::npos) Fail("package kind not in the address", address);
  // The last four bytes are taken as a text of their own, so a suffix decides alone.
  if (EndsWith(lowered, ".zip") && kind != ".zip") Fail("address ending in .zip", address);
  if (EndsWith(lowered, ".exe") && kind != ".exe") Fail("address ending in .exe", address);
  bool ascii = true;
  for (char c : address) ascii = ascii && !Lead(c);
  if (ascii) {
    std::string expected;
    if (EndsWith(lowered, ".zip")) expected = ".zip";
    else if (EndsWith(lowered, ".exe")) expected = ".exe";
    else if (lowered.find(".zip") != std::string::npos) expected = ".zip";
    else if (lowered.find(".exe") != std::string::npos) expected = ".exe";
    if (kind != expected) Fail("package kind differs from the ASCII reference", address);
  }
}

void CheckFileName(std::string_view path) {
  const std::string name = FileNameOfPath(path);
  if (!EndsWith(path, name)) Fail("file name is not a tail of the path", path);
  if (path.find_first_of("\\/:") == std::string_view::npos && name != path) Fail("path without separators", path);
}

// Part 1: the input as the process command line.
void CheckRawCommandLine(std::string_view line) {
  const std::vector<std::string> args = SplitCommandLine(line);

  // Arguments are runs of the line, in order and apart; a double quote or a separator byte
  // ends every argument unless it is the second byte of a double-byte character.
  std::size_t at = 0;
  for (std::size_t n = 0; n < args.size(); ++n) {
    const std::string& arg = args[n];
    if (HasByteAtBoundary(arg, '"')) Fail("argument holds a double quote", arg);
    const std::size_t found = line.find(arg, at);
    if (found == std::string_view::npos) Fail("argument is not a run of the line", arg);
    at = found + arg.size();
    // The byte after a lead byte belongs to it, so only the line's end leaves one alone.
    std::size_t last = 0;
    for (std::size_t i = 0; i < arg.size(); i += CharAt(arg, i)) last = i;
    if (!arg.empty() && Lead(arg[last]) && last + 1 == arg.size() && (n + 1 != args.size() || !EndsWith(line, arg)))
      Fail("argument ends inside a double-byte character", arg);
  }

  const auto request = ParseUpdateRequest(line);
  const std::string unescaped = ReferenceUnescape(Join(args, ""));
  if (request) {
    if (request->size() != 7) Fail("accepted request without seven fields");
    for (const std::string& field : *request) {
      if (text::Find(field, "<#>") != text::npos) Fail("field holds a separator", field);
      if (text::Find(field, "<?>") != text::npos) Fail("field holds an escaped space", field);
    }
    // The fields put back together are the request text, less one separator at its end.
    const std::string joined = Join(*request, "<#>");
    if (joined != unescaped && joined + "<#>" != unescaped) Fail("fields do not make the request text", line);
    // An empty last field arrives only from a separator at the very end.
    if ((*request)[6].empty() && !EndsWith(unescaped, "<#>")) Fail("empty seventh field", line);
    CheckAddressOperations((*request)[4]);
    CheckFileName((*request)[3]);
  } else {
    // Rejected: the request text does not have exactly six or seven separators in the
    // right places. Count them by walking characters the same way.
    std::size_t separators = 0;
    bool endsWithSeparator = false;
    for (std::size_t i = 0; i < unescaped.size();) {
      if (unescaped.compare(i, 3, "<#>") == 0) {
        ++separators;
        i += 3;
        endsWithSeparator = i == unescaped.size();
      } else {
        i += CharAt(unescaped, i);
      }
    }
    const std::size_t fields = unescaped.empty() ? 0 : separators + (endsWithSeparator ? 0 : 1);
    if (fields == 7) Fail("rejected a request with seven fields", line);
  }

  CheckAddressOperations(line);
  CheckFileName(line);
}

// A small generator driven by the input, for the caller's choices in part 2.
class Choices {
 public:
  explicit Choices(std::string_view seed) {
    for (char c : seed) state_ = (state_ ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  }
  unsigned Next(unsigned bound) {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<unsigned>((state_ >> 33) % bound);
  }

 private:
  std::uint64_t state_ = 14695981039346656037ull;
};

// A field a caller can write: whole characters, no NUL, no double quote, and no "<#>" or
// "<?>" (their middle byte is replaced, which cannot make a new one).
std::string MakeField(std::string_view raw) {
  std::string field;
  for (std::size_t i = 0; i < raw.size();) {
    if (Lead(raw[i])) {
      if (i + 1 < raw.size() && raw[i + 1] != '\0') field.append(raw.substr(i, 2));
      i += 2;
      continue;
    }
    if (raw[i] != '\0' && raw[i] != '"') field += raw[i];
    ++i;
  }
  for (std::string_view mark : {"<#>", "<?>"}) {
    for (auto p = text::Find(field, mark); p != text::npos; p = text::Find(field, mark, p)) field[p + 1] = '_';
  }
  return field;
}

bool NeedsQuotes(std::string_view piece) {
  if (piece.empty()) return true;
  for (std::size_t i = 0; i < piece.size(); i += CharAt(piece, i)) {
    const auto c = static_cast<unsigned char>(piece[i]);
    if (c <= 0x20) return true;
  }
  return false;
}

// Part 2: seven fields from the input, written as a caller writes them, read back.
void CheckRoundTrip(std::string_view input) {
  std::vector<std::string> raw = text::Split(input, "<#>");
  raw.resize(7);
  std::vector<std::string> fields;
  for (const std::string& r : raw) fields.push_back(MakeField(r));

  Choices choose(input);
  const bool trailingSeparator = choose.Next(2) == 1;
  std::string request = text::ReplaceAll(Join(fields, "<#>"), " ", "<?>");
  if (trailingSeparator) request += "<#>";

  static const char* const programs[] = {"\"C:\\Program Files\\Tool\\updater.exe\" ", "updater.exe ",
                                         "\"C:\\\xD0\xC2 \xBD\xA8\\updater.exe\"\t", "\"updater.exe\""};
  std::string line = programs[choose.Next(4)];
  if (line.back() == '"' && !request.empty()) line += ' ';
  bool lastPlain = false;
  for (std::size_t i = 0; i < request.size();) {
    // One piece: up to a few characters, cut at character boundaries only.
    std::size_t end = i;
    const unsigned chars = 1 + choose.Next(choose.Next(4) == 0 ? 3 : 40);
    for (unsigned k = 0; k < chars && end < request.size(); ++k) end += CharAt(request, end);
    const std::string_view piece = std::string_view(request).substr(i, end - i);
    const bool quoted = NeedsQuotes(piece) || choose.Next(2) == 0;
    const unsigned gap = choose.Next(3);
    if (lastPlain && !quoted && gap == 0) line += ' ';  // two plain pieces need a separator
    static const char gaps[] = " \t\x01\x1F ";
    for (unsigned g = 0; g < gap; ++g) line += gaps[choose.Next(sizeof gaps - 1)];
    if (quoted) {
      line += '"';
      line.append(piece);
      line += '"';
      if (choose.Next(8) == 0) line += "\"\"";  // an empty argument adds nothing
    } else {
      line.append(piece);
    }
    lastPlain = !quoted;
    i = end;
  }

  const auto parsed = ParseUpdateRequest(line);
  const bool expectAccept = !fields[6].empty() || trailingSeparator;
  if (!expectAccept) {
    if (parsed) Fail("accepted a request with an empty seventh field", line);
    return;
  }
  if (!parsed) Fail("rejected a well-formed request", line);
  if (*parsed != fields) Fail("fields changed on the way", line);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  // The process command line is a zero-terminated text, handed over as such.
  const std::string line(input.substr(0, input.find('\0')));
  CheckRawCommandLine(line.c_str());
  CheckRoundTrip(input);
  return 0;
}

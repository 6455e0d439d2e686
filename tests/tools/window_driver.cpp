// The end-to-end tests' hands and eyes: a console program that, started under the same
// wineserver as updater.exe, finds a top-level window by its title, reads its controls,
// presses OK on a message box, closes a window and terminates processes by image name.
//
//   window_driver list                      every visible top-level window
//   window_driver wait  TITLE [ms]          wait for the window, print it        (exit 1: timeout)
//   window_driver ok    TITLE [ms]          wait for a message box, print it, press OK
//   window_driver close TITLE [ms]          wait for the window, print it, post WM_CLOSE
//   window_driver gone  TITLE [ms]          wait until no visible window has the title
//   window_driver kill  IMAGE               terminate every process with that image name
//   window_driver count IMAGE               print how many processes have that image name
//   window_driver temp                      print GetTempPathA
//   window_driver run EXE LIST [ms]         start EXE once for each line of the file LIST (a raw
//                                           command line in hex) with CreateProcessA; answer its
//                                           message box with OK, close its window, and print one
//                                           JSON line each: exit code, what it showed, or a hang
//
// TITLE is "hex:" followed by the hex of its ANSI (GBK) bytes, "name:notice" (友情提醒),
// "name:stored" (启动窗口标题) or plain ASCII. Titles and texts are ANSI bytes under code
// page 936: every one is printed twice in a JSON line, converted to UTF-8 and as hex, so a
// Python test can compare either.
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kNoticeTitle[] = "\xD3\xD1\xC7\xE9\xCC\xE1\xD0\xD1";                 // 友情提醒
const char kStoredTitle[] = "\xC6\xF4\xB6\xAF\xB4\xB0\xBF\xDA\xB1\xEA\xCC\xE2";  // 启动窗口标题

bool ParseTitle(const char* given, std::string& title) {
  if (std::strncmp(given, "hex:", 4) == 0) {
    const char* hex = given + 4;
    size_t n = std::strlen(hex);
    if (n % 2 != 0) return false;
    for (size_t i = 0; i < n; i += 2) {
      char pair[3] = {hex[i], hex[i + 1], 0};
      char* end = nullptr;
      long value = std::strtol(pair, &end, 16);
      if (end != pair + 2) return false;
      title.push_back(static_cast<char>(value));
    }
    return true;
  }
  if (std::strcmp(given, "name:notice") == 0) return title = kNoticeTitle, true;
  if (std::strcmp(given, "name:stored") == 0) return title = kStoredTitle, true;
  if (std::strncmp(given, "name:", 5) == 0) return false;
  title = given;
  return true;
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

// ANSI (the process code page, 936 under the tests' locale) to UTF-8.
std::string ToUtf8(const std::string& ansi) {
  if (ansi.empty()) return {};
  int wide = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), w.data(), wide);
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, out.data(), n, nullptr, nullptr);
  return out;
}

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(c));
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out + "\"";
}

// "text": UTF-8, "text_hex": the ANSI bytes.
std::string TextFields(const char* key, const std::string& ansi) {
  return "\"" + std::string(key) + "\":" + JsonString(ToUtf8(ansi)) + ",\"" + key +
         "_hex\":\"" + Hex(ansi) + "\"";
}

std::string WindowText(HWND window) {
  // WM_GETTEXT is marshalled across processes; GetWindowTextA on a foreign window is not
  // guaranteed to ask the control itself.
  char buffer[4096] = {};
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer),
                      SMTO_ABORTIFHUNG, 2000, nullptr);
  return buffer;
}

std::string ClassName(HWND window) {
  char buffer[256] = {};
  GetClassNameA(window, buffer, sizeof buffer);
  return buffer;
}

std::string RectJson(const RECT& r) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "[%ld,%ld,%ld,%ld]", r.left, r.top, r.right, r.bottom);
  return buf;
}

struct ChildList {
  HWND parent;
  std::vector<HWND> children;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM context) {
  auto* list = reinterpret_cast<ChildList*>(context);
  if (GetParent(child) == list->parent) list->children.push_back(child);  // direct children only
  return TRUE;
}

std::string Describe(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  RECT outer{};
  GetWindowRect(window, &outer);
  std::string json = "{\"hwnd\":" + std::to_string(reinterpret_cast<uintptr_t>(window)) +
                     ",\"pid\":" + std::to_string(pid) + "," + TextFields("title", WindowText(window)) +
                     ",\"class\":" + JsonString(ClassName(window)) + ",\"rect\":" + RectJson(outer) +
                     ",\"screen\":[" + std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "," +
                     std::to_string(GetSystemMetrics(SM_CYSCREEN)) + "]" +
                     ",\"visible\":" + (IsWindowVisible(window) ? "true" : "false") + ",\"children\":[";
  ChildList list{window, {}};
  EnumChildWindows(window, CollectChild, reinterpret_cast<LPARAM>(&list));
  bool first = true;
  for (HWND child : list.children) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);  // client coordinates
    std::string cls = ClassName(child);
    json += first ? "{" : ",{";
    first = false;
    json += "\"id\":" + std::to_string(GetDlgCtrlID(child)) + ",\"class\":" + JsonString(cls) + "," +
            TextFields("text", WindowText(child)) + ",\"rect\":" + RectJson(r) +
            ",\"visible\":" + (IsWindowVisible(child) ? "true" : "false");
    if (lstrcmpiA(cls.c_str(), PROGRESS_CLASSA) == 0) {
      DWORD_PTR pos = 0;
      SendMessageTimeoutA(child, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 2000, &pos);
      json += ",\"pos\":" + std::to_string(static_cast<long>(pos));
    }
    json += "}";
  }
  return json + "]}";
}

struct Search {
  const std::string* title;  // null: every visible window
  bool boxOnly;
  std::vector<HWND> found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<Search*>(context);
  if (!IsWindowVisible(window)) return TRUE;
  if (search->boxOnly && ClassName(window) != "#32770") return TRUE;
  if (search->title && WindowText(window) != *search->title) return TRUE;  // bytes, case included
  search->found.push_back(window);
  return TRUE;
}

std::vector<HWND> FindWindows(const std::string* title, bool boxOnly) {
  Search search{title, boxOnly, {}};
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Polls every 50 ms until a window with the title is visible or `ms` have passed.
HWND WaitFor(const std::string& title, bool boxOnly, DWORD ms) {
  DWORD start = GetTickCount();
  for (;;) {
    std::vector<HWND> found = FindWindows(&title, boxOnly);
    if (!found.empty()) return found.front();
    if (GetTickCount() - start >= ms) return nullptr;
    Sleep(50);
  }
}

bool WaitGone(const std::string& title, DWORD ms) {
  DWORD start = GetTickCount();
  for (;;) {
    if (FindWindows(&title, false).empty()) return true;
    if (GetTickCount() - start >= ms) return false;
    Sleep(50);
  }
}

// Every process with the image name (byte-wise, case included); terminates them if asked.
int ForEachProcess(const std::string& image, bool terminate) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (image != entry.szExeFile) continue;
    ++count;
    if (!terminate) continue;
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID);
    if (process) {
      if (TerminateProcess(process, 0)) WaitForSingleObject(process, 5000);
      CloseHandle(process);
    }
  }
  CloseHandle(snapshot);
  return count;
}

// ---- run: raw command lines ----

struct OwnWindows {
  DWORD pid;
  HWND box = nullptr;   // a message box: has an OK button
  HWND main = nullptr;  // any other visible top-level window of the process
};

BOOL CALLBACK CollectOwnWindow(HWND window, LPARAM context) {
  auto* own = reinterpret_cast<OwnWindows*>(context);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != own->pid || !IsWindowVisible(window)) return TRUE;
  if (GetDlgItem(window, IDOK) != nullptr) {
    own->box = window;
  } else {
    own->main = window;
  }
  return TRUE;
}

bool FromHex(const std::string& hex, std::string& bytes) {
  if (hex.size() % 2 != 0) return false;
  for (size_t i = 0; i < hex.size(); i += 2) {
    char pair[3] = {hex[i], hex[i + 1], 0};
    char* end = nullptr;
    long value = std::strtol(pair, &end, 16);
    if (end != pair + 2) return false;
    bytes.push_back(static_cast<char>(value));
  }
  return true;
}

// Starts `exe` with the command line exactly as given (the program's own path is part of
// it, or not, as the caller chose), answers what it shows, and reports how it ended.
std::string RunOne(const std::string& exe, std::string commandLine, DWORD ms) {
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    return "{\"started\":false,\"error\":" + std::to_string(GetLastError()) + "}";
  }
  CloseHandle(info.hThread);
  bool sawWindow = false, sawBox = false, hang = false;
  std::string windowTitle;
  DWORD start = GetTickCount(), lastClose = 0;
  while (WaitForSingleObject(info.hProcess, 20) == WAIT_TIMEOUT) {
    DWORD now = GetTickCount();
    if (now - start >= ms) {
      hang = true;
      TerminateProcess(info.hProcess, 0xDEAD);
      WaitForSingleObject(info.hProcess, 5000);
      break;
    }
    OwnWindows own{info.dwProcessId};
    EnumWindows(CollectOwnWindow, reinterpret_cast<LPARAM>(&own));
    if (own.box != nullptr) {
      sawBox = true;
      PostMessageA(GetDlgItem(own.box, IDOK), BM_CLICK, 0, 0);
    } else if (own.main != nullptr && (lastClose == 0 || now - lastClose >= 2000)) {
      // Again every 2 s: a close that arrived while the window was busy is not lost.
      if (!sawWindow) windowTitle = WindowText(own.main);
      sawWindow = true;
      lastClose = now;
      PostMessageA(own.main, WM_CLOSE, 0, 0);
    }
  }
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hProcess);
  return "{\"started\":true,\"code\":" + std::to_string(code) + ",\"window\":" +
         (sawWindow ? "true" : "false") + ",\"box\":" + (sawBox ? "true" : "false") +
         ",\"hang\":" + (hang ? "true" : "false") + ",\"title_hex\":\"" + Hex(windowTitle) +
         "\",\"ms\":" + std::to_string(GetTickCount() - start) + "}";
}

int RunList(const std::string& exe, const char* listPath, DWORD ms) {
  FILE* list = std::fopen(listPath, "rb");
  if (list == nullptr) return 2;
  std::string hex;
  int index = 0;
  for (int c = std::fgetc(list);; c = std::fgetc(list)) {
    if (c != EOF && c != '\n') {
      if (c != '\r') hex.push_back(static_cast<char>(c));
      continue;
    }
    if (!hex.empty() || c != EOF) {
      std::string bytes;
      std::string result = FromHex(hex, bytes) ? RunOne(exe, bytes, ms) : "{\"started\":false}";
      std::printf("{\"index\":%d,%s\n", index++, result.c_str() + 1);
      std::fflush(stdout);
    }
    hex.clear();
    if (c == EOF) break;
  }
  std::fclose(list);
  return 0;
}

int Usage() {
  std::fprintf(stderr, "usage: window_driver list|wait|ok|close|gone TITLE [ms] | kill|count IMAGE | temp | run EXE LIST [ms]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string command = argv[1];
  if (command == "list") {
    for (HWND window : FindWindows(nullptr, false)) std::printf("%s\n", Describe(window).c_str());
    return 0;
  }
  if (command == "temp") {
    char path[MAX_PATH + 1] = {};
    GetTempPathA(sizeof path, path);
    std::printf("%s\n", path);
    return 0;
  }
  if (argc < 3) return Usage();
  if (command == "run") {
    if (argc < 4) return Usage();
    return RunList(argv[2], argv[3], argc > 4 ? static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10)) : 30000);
  }
  if (command == "kill" || command == "count") {
    int n = ForEachProcess(argv[2], command == "kill");
    std::printf("%d\n", n);
    return 0;
  }
  std::string title;
  if (!ParseTitle(argv[2], title)) return Usage();
  DWORD ms = argc > 3 ? static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)) : 0;

  if (command == "gone") return WaitGone(title, ms) ? 0 : 1;
  bool box = command == "ok";
  if (command != "wait" && command != "ok" && command != "close") return Usage();
  HWND window = WaitFor(title, box, ms);
  if (!window) {
    std::fprintf(stderr, "window_driver: no window titled %s\n", argv[2]);
    return 1;
  }
  if (box) {
    // The message text is the box's static control 0xFFFF; print it as "message".
    std::string message = WindowText(GetDlgItem(window, 0xFFFF));
    std::string json = Describe(window);
    json.insert(json.size() - 1, "," + TextFields("message", message));
    std::printf("%s\n", json.c_str());
    std::fflush(stdout);
    HWND ok = GetDlgItem(window, IDOK);
    if (!ok) return 1;
    SendMessageTimeoutA(ok, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    return 0;
  }
  std::printf("%s\n", Describe(window).c_str());
  std::fflush(stdout);
  if (command == "close") PostMessageA(window, WM_CLOSE, 0, 0);
  return 0;
}

// The end-to-end driver: a Windows console program that runs setup.exe and
// works its wizard as a person would, from a script of steps, one per line,
// the step's words separated by tabs:
//
//   start    CMDLINE           start a program (the setup) and follow it
//   follow                     the followed program has ended: follow the one
//                              it started (Wine's desktop process is skipped)
//   cmdline  TEXT              the followed program's own command line is TEXT
//   wait     TARGET TEXT       wait until TARGET's text is TEXT
//   expect   TARGET TEXT       TARGET's text is TEXT now
//   state    TARGET WORD...    visible|hidden|enabled|disabled|checked|unchecked|absent
//   click    TARGET            press a button (it must be visible and enabled)
//   settext  TARGET TEXT       type TEXT into an edit
//   answer   BUTTON TEXT       a message box shows TEXT: press BUTTON (yes, no,
//                              ok, cancel, abort, retry, ignore) and see it close
//   shot     NAME              screenshot of the setup's windows to SHOTS\NAME.bmp
//   exit     CODE              the followed program ends with CODE
//   quiet    CODE              the followed program ends with CODE and never
//                              shows a window, nor does any program it
//                              starts (its relaunched copy)
//   alone    CMDLINE           a second program ends at once with 0, opens no
//                              window of its own, and the followed one comes
//                              to the front
//   hold     PATH              keep PATH open so that it cannot be deleted
//   release  PATH
//   copy     FROM TO           copy a file (a disk change, say)
//   chooser  FOLDER            in the folder chooser, go into FOLDER, a
//                              subfolder of the one shown, as a double click would
//   sleep    MS
//
// A TARGET is a control id in the wizard (frame or page), "caption" (the
// background window's text), "frame" (the frame's text), "box" (the open
// message box's text), "chooser" (the folder chooser's caption) or
// "chooser:ID" (a control of the folder chooser). In every word {LF} stands
// for a line break, {TAB} for a tab and %TEMP% for the temporary folder
// (without its backslash); backslashes are themselves, as in paths.
//
// On the first step that fails the driver prints what it expected and what
// every window of the setup shows, ends the setup and exits with 1.
#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr DWORD kPollMs = 40;
DWORD timeoutMs = 20000;

std::string shotFolder;  // screenshots are taken only when set (SETUP_SHOTS)
std::vector<std::string> steps;
size_t stepIndex = 0;

HANDLE followed = nullptr;  // the program being driven
DWORD followedId = 0;
std::map<std::string, HANDLE> heldFiles;

[[noreturn]] void Fail(const char* format, ...);

// --- texts -----------------------------------------------------------------

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 4, "{LF}") == 0) {
      out += '\n';
      i += 3;
    } else if (text.compare(i, 5, "{TAB}") == 0) {
      out += '\t';
      i += 4;
    } else if (text.compare(i, 6, "%TEMP%") == 0) {
      char temp[MAX_PATH];
      DWORD n = GetTempPathA(MAX_PATH, temp);
      if (n > 0 && temp[n - 1] == '\\') temp[n - 1] = '\0';
      out += temp;
      i += 5;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else out += c;
  }
  return out;
}

// Message boxes show line breaks as the program gave them; a CR LF pair and a
// lone LF read the same here.
std::string Normalise(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> words;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    words.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  return words;
}

// --- windows -----------------------------------------------------------------

bool OwnedByFollowed(HWND window) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  return followedId != 0 && process == followedId;
}

std::vector<HWND> TopWindows() {
  std::vector<HWND> windows;
  EnumWindows(
      [](HWND window, LPARAM list) WINAPI -> BOOL {
        if (OwnedByFollowed(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  return windows;
}

std::string ClassOf(HWND window) {
  char name[128] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::string TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) {
    return "(no answer)";
  }
  std::string text(length + 1, '\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(&text[0]),
                      SMTO_ABORTIFHUNG, 2000, &got);
  text.resize(got);
  return text;
}

HWND Background() {
  for (HWND window : TopWindows()) {
    if (ClassOf(window) == "RaveloClass") return window;
  }
  return nullptr;
}

bool IsMessageBox(HWND window) {
  return ClassOf(window) == "#32770" && IsWindowVisible(window) &&
         GetDlgItem(window, 0xFFFF) != nullptr;
}

HWND MessageBoxWindow() {
  for (HWND window : TopWindows()) {
    if (IsMessageBox(window)) return window;
  }
  return nullptr;
}

HWND Chooser() {
  for (HWND window : TopWindows()) {
    if (ClassOf(window) == "#32770" && IsWindowVisible(window) && GetDlgItem(window, 1121)) {
      return window;
    }
  }
  return nullptr;
}

// A control with the id among the window's descendants, visible ones first:
// the frame and the page share no ids, but a page's hidden controls may.
HWND FindControl(HWND root, int id) {
  struct Search {
    int id;
    HWND visible = nullptr, any = nullptr;
  } search{id};
  EnumChildWindows(
      root,
      [](HWND child, LPARAM data) WINAPI -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        if (GetDlgCtrlID(child) != s->id) return TRUE;
        if (s->any == nullptr) s->any = child;
        if (s->visible == nullptr && IsWindowVisible(child)) s->visible = child;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.visible != nullptr ? search.visible : search.any;
}

// The frame: the background window's one dialog child.
HWND Frame() {
  HWND background = Background();
  if (background == nullptr) return nullptr;
  for (HWND child = GetWindow(background, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (ClassOf(child) == "#32770") return child;
  }
  return nullptr;
}

// The window that TARGET names, or null when it is not there (yet).
HWND Resolve(const std::string& target) {
  if (target == "caption") return Background();
  if (target == "frame") return Frame();
  if (target == "box") {
    HWND box = MessageBoxWindow();
    return box != nullptr ? GetDlgItem(box, 0xFFFF) : nullptr;
  }
  if (target == "chooser") return Chooser();
  if (target.rfind("chooser:", 0) == 0) {
    HWND chooser = Chooser();
    return chooser != nullptr ? FindControl(chooser, std::atoi(target.c_str() + 8)) : nullptr;
  }
  HWND background = Background();
  return background != nullptr ? FindControl(background, std::atoi(target.c_str())) : nullptr;
}

void DumpWindow(HWND window, int depth) {
  RECT rect;
  GetWindowRect(window, &rect);
  std::fprintf(stderr, "%*s[%s] id=%d %s%s (%ld,%ld %ldx%ld) \"%s\"\n", depth * 2, "",
               ClassOf(window).c_str(), GetDlgCtrlID(window),
               IsWindowVisible(window) ? "visible" : "hidden",
               IsWindowEnabled(window) ? "" : " disabled", rect.left, rect.top,
               rect.right - rect.left, rect.bottom - rect.top, Escape(TextOf(window)).c_str());
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    DumpWindow(child, depth + 1);
  }
}

void Fail(const char* format, ...) {
  std::fprintf(stderr, "FAIL at step %zu: %s\n  ", stepIndex + 1,
               stepIndex < steps.size() ? Escape(steps[stepIndex]).c_str() : "(end)");
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fprintf(stderr, "\nwindows of the setup:\n");
  for (HWND window : TopWindows()) DumpWindow(window, 1);
  if (followed != nullptr) TerminateProcess(followed, 99);
  std::exit(1);
}

bool Running() { return followed != nullptr && WaitForSingleObject(followed, 0) == WAIT_TIMEOUT; }

// Polls `ready` until it holds or the time is up.
template <typename Ready>
bool WaitFor(Ready ready, DWORD limit = timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (ready()) return true;
    if (GetTickCount() - start > limit) return false;
    Sleep(kPollMs);
  }
}

HWND Need(const std::string& target) {
  HWND window = nullptr;
  if (!WaitFor([&] { return (window = Resolve(target)) != nullptr || !Running(); }) ||
      window == nullptr) {
    Fail("no %s%s", target.c_str(), Running() ? "" : " (the setup has ended)");
  }
  return window;
}

// --- processes -----------------------------------------------------------------

// The program's own command line, read from its process parameters: Wine
// rebuilds what a Unix tool would show from the arguments.
std::string CommandLineOf(HANDLE process) {
  PROCESS_BASIC_INFORMATION basic = {};
  if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) !=
      0) {
    return "(unreadable)";
  }
  PEB peb = {};
  RTL_USER_PROCESS_PARAMETERS parameters = {};
  if (!ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof peb, nullptr) ||
      !ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof parameters, nullptr)) {
    return "(unreadable)";
  }
  std::wstring wide(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
  if (!ReadProcessMemory(process, parameters.CommandLine.Buffer, &wide[0],
                         parameters.CommandLine.Length, nullptr)) {
    return "(unreadable)";
  }
  char text[2048] = {};
  WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), text,
                      sizeof text - 1, nullptr, nullptr);
  return text;
}

void Follow(HANDLE process, DWORD id) {
  if (followed != nullptr) CloseHandle(followed);
  followed = process;
  followedId = id;
}

void Start(const std::string& commandLine) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  std::string line = commandLine;
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info)) {
    Fail("cannot start %s (error %lu)", commandLine.c_str(), GetLastError());
  }
  CloseHandle(info.hThread);
  Follow(info.hProcess, info.dwProcessId);
}

// The relaunch: the followed program starts its copy and ends. Its child is
// found by parent id; Wine's desktop process may be a child too.
void FollowChild() {
  if (WaitForSingleObject(followed, timeoutMs) != WAIT_OBJECT_0) {
    Fail("the program did not end to hand over to its copy");
  }
  DWORD parent = followedId;
  HANDLE child = nullptr;
  DWORD childId = 0;
  WaitFor([&] {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
      if (entry.th32ParentProcessID != parent || _stricmp(entry.szExeFile, "explorer.exe") == 0) {
        continue;
      }
      child = OpenProcess(PROCESS_ALL_ACCESS, FALSE, entry.th32ProcessID);
      if (child != nullptr) {
        childId = entry.th32ProcessID;
        break;
      }
    }
    CloseHandle(snapshot);
    return child != nullptr;
  });
  if (child == nullptr) Fail("the program started no copy of itself");
  Follow(child, childId);
}

// A second program that must end at once without a window of its own.
void Alone(const std::string& commandLine) {
  HANDLE first = followed;
  DWORD firstId = followedId;
  HWND firstBackground = Background();
  if (firstBackground == nullptr) Fail("no setup window to come to the front");
  followed = nullptr;
  Start(commandLine);
  HANDLE second = followed;
  DWORD secondId = followedId;
  bool ownWindow = false;
  WaitFor([&] {
    if (Background() != nullptr) ownWindow = true;
    return WaitForSingleObject(second, 0) == WAIT_OBJECT_0;
  });
  DWORD code = 259;
  GetExitCodeProcess(second, &code);
  followed = first;
  followedId = firstId;
  CloseHandle(second);
  if (code == 259) Fail("the second setup (process %lu) did not end", secondId);
  if (code != 0) Fail("the second setup ended with %lu, not 0", code);
  if (ownWindow) Fail("the second setup opened a window of its own");
  // The first one's window, or the box it shows, is in front.
  HWND front = GetForegroundWindow();
  if (!WaitFor([&] { return (front = GetForegroundWindow()) != nullptr && OwnedByFollowed(front); },
               3000)) {
    Fail("the first setup did not come to the front (the foreground is [%s] \"%s\")",
         front ? ClassOf(front).c_str() : "none", front ? TextOf(front).c_str() : "");
  }
}

// A visible top-level window of the followed program or of a program it
// started (Wine's desktop process aside), described; empty when none.
std::string VisibleWindowOfFollowedOrChild(std::vector<DWORD>& ids) {
  ids.assign(1, followedId);
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more;
       more = Process32Next(snapshot, &entry)) {
    if (entry.th32ParentProcessID == followedId && _stricmp(entry.szExeFile, "explorer.exe") != 0) {
      ids.push_back(entry.th32ProcessID);
    }
  }
  CloseHandle(snapshot);
  struct Search {
    const std::vector<DWORD>* ids;
    HWND found;
  } search{&ids, nullptr};
  EnumWindows(
      [](HWND window, LPARAM data) WINAPI -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        for (DWORD id : *s->ids) {
          if (id == process && IsWindowVisible(window)) {
            s->found = window;
            return FALSE;
          }
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  if (search.found == nullptr) return "";
  return "[" + ClassOf(search.found) + "] \"" + TextOf(search.found) + "\"";
}

// --- steps -----------------------------------------------------------------

void Click(HWND button, const std::string& target) {
  if (!WaitFor([&] { return IsWindowVisible(button) && IsWindowEnabled(button); }, 5000)) {
    Fail("%s is %s", target.c_str(), IsWindowVisible(button) ? "disabled" : "hidden");
  }
  // Posted: the button's handler may open a box of its own and wait for us.
  PostMessageA(button, BM_CLICK, 0, 0);
}

int ButtonId(const std::string& name) {
  static const std::map<std::string, int> ids = {{"ok", IDOK},        {"cancel", IDCANCEL},
                                                 {"abort", IDABORT},  {"retry", IDRETRY},
                                                 {"ignore", IDIGNORE}, {"yes", IDYES},
                                                 {"no", IDNO}};
  auto found = ids.find(name);
  if (found == ids.end()) Fail("no button called %s", name.c_str());
  return found->second;
}

void Answer(const std::string& button, const std::string& text) {
  HWND box = nullptr;
  if (!WaitFor([&] { return (box = MessageBoxWindow()) != nullptr || !Running(); }) ||
      box == nullptr) {
    Fail("no message box \"%s\"", Escape(text).c_str());
  }
  std::string shown = Normalise(TextOf(GetDlgItem(box, 0xFFFF)));
  if (shown != Normalise(text)) {
    Fail("the message box says \"%s\"\n  expected \"%s\"", Escape(shown).c_str(),
         Escape(text).c_str());
  }
  HWND control = GetDlgItem(box, ButtonId(button));
  if (control == nullptr) Fail("the message box has no %s button", button.c_str());
  PostMessageA(control, BM_CLICK, 0, 0);
  if (!WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); })) {
    Fail("the message box did not close");
  }
}

bool HasState(HWND window, const std::string& word) {
  if (word == "visible") return IsWindowVisible(window);
  if (word == "hidden") return !IsWindowVisible(window);
  if (word == "enabled") return IsWindowEnabled(window);
  if (word == "disabled") return !IsWindowEnabled(window);
  DWORD_PTR check = 0;
  SendMessageTimeoutA(window, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 2000, &check);
  if (word == "checked") return check == BST_CHECKED;
  if (word == "unchecked") return check == BST_UNCHECKED;
  Fail("no state called %s", word.c_str());
}

void State(const std::vector<std::string>& words) {
  if (words.size() == 3 && words[2] == "absent") {
    Sleep(200);
    if (Resolve(words[1]) != nullptr) Fail("%s is there", words[1].c_str());
    return;
  }
  HWND window = Need(words[1]);
  for (size_t i = 2; i < words.size(); ++i) {
    if (!WaitFor([&] { return HasState(window, words[i]); }, 3000)) {
      Fail("%s is not %s", words[1].c_str(), words[i].c_str());
    }
  }
}

// The setup's windows, the background first, as one 24-bit picture.
void Screenshot(const std::string& name) {
  if (shotFolder.empty()) return;
  Sleep(500);  // let the last change paint
  RECT area = {};
  bool any = false;
  for (HWND window : TopWindows()) {
    if (!IsWindowVisible(window)) continue;
    RECT rect;
    GetWindowRect(window, &rect);
    if (!any) area = rect;
    else UnionRect(&area, &area, &rect);
    any = true;
  }
  if (!any) Fail("no window to take a picture of");
  int width = area.right - area.left;
  int height = area.bottom - area.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY | CAPTUREBLT);
  SelectObject(memory, old);
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  std::vector<char> pixels(stride * height);
  GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&header),
            DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof header;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  std::string path = shotFolder + "\\" + name + ".bmp";
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) Fail("cannot write %s", path.c_str());
  std::fwrite(&file, sizeof file, 1, out);
  std::fwrite(&header, sizeof header, 1, out);
  std::fwrite(pixels.data(), 1, pixels.size(), out);
  std::fclose(out);
}

// Goes into a subfolder in the chooser's folder list as a double click does.
void ChooseFolder(const std::string& folder) {
  HWND list = Need("chooser:1121");
  DWORD_PTR index = LB_ERR;
  if (!WaitFor([&] {
        SendMessageTimeoutA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                            reinterpret_cast<LPARAM>(folder.c_str()), SMTO_ABORTIFHUNG, 2000,
                            &index);
        return index != static_cast<DWORD_PTR>(LB_ERR);
      },
               5000)) {
    std::string items;
    DWORD_PTR count = 0;
    SendMessageTimeoutA(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 2000, &count);
    for (DWORD_PTR i = 0; i < count && i < 50; ++i) {
      char item[MAX_PATH] = {};
      DWORD_PTR ignored;
      SendMessageTimeoutA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item), SMTO_ABORTIFHUNG,
                          2000, &ignored);
      items += std::string(" \"") + item + "\"";
    }
    Fail("the folder list has no %s, but:%s", folder.c_str(), items.c_str());
  }
  DWORD_PTR ignored;
  SendMessageTimeoutA(list, LB_SETCURSEL, index, 0, SMTO_ABORTIFHUNG, 2000, &ignored);
  PostMessageA(GetParent(list), WM_COMMAND, MAKEWPARAM(1121, LBN_DBLCLK),
               reinterpret_cast<LPARAM>(list));
}

void Run(const std::vector<std::string>& words) {
  const std::string& verb = words[0];
  auto need = [&](size_t count) {
    if (words.size() != count + 1) Fail("%s takes %zu words", verb.c_str(), count);
  };
  if (verb == "start") {
    need(1);
    Start(Unescape(words[1]));
  } else if (verb == "follow") {
    need(0);
    FollowChild();
  } else if (verb == "cmdline") {
    need(1);
    std::string own = CommandLineOf(followed);
    if (own != Unescape(words[1])) {
      Fail("the command line is \"%s\"\n  expected \"%s\"", own.c_str(),
           Unescape(words[1]).c_str());
    }
  } else if (verb == "wait" || verb == "expect") {
    need(2);
    std::string want = Normalise(Unescape(words[2]));
    std::string seen;
    HWND window = Need(words[1]);
    if (!WaitFor([&] { return (seen = Normalise(TextOf(window))) == want; },
                 verb == "wait" ? timeoutMs : 1000)) {
      Fail("%s says \"%s\"\n  expected \"%s\"", words[1].c_str(), Escape(seen).c_str(),
           Escape(want).c_str());
    }
  } else if (verb == "state") {
    if (words.size() < 3) Fail("state takes a target and states");
    State(words);
  } else if (verb == "click") {
    need(1);
    Click(Need(words[1]), words[1]);
  } else if (verb == "settext") {
    need(2);
    HWND edit = Need(words[1]);
    std::string text = Unescape(words[2]);
    DWORD_PTR ignored;
    SendMessageTimeoutA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                        SMTO_ABORTIFHUNG, 2000, &ignored);
  } else if (verb == "answer") {
    need(2);
    Answer(words[1], Unescape(words[2]));
  } else if (verb == "shot") {
    need(1);
    Screenshot(words[1]);
  } else if (verb == "exit") {
    need(1);
    if (WaitForSingleObject(followed, timeoutMs) != WAIT_OBJECT_0) Fail("the setup did not end");
    DWORD code = 0;
    GetExitCodeProcess(followed, &code);
    if (static_cast<long>(code) != std::atol(words[1].c_str())) {
      Fail("the setup ended with %ld, expected %s", static_cast<long>(code), words[1].c_str());
    }
  } else if (verb == "quiet") {
    need(1);
    std::string shown;
    std::vector<DWORD> ids;
    bool ended = WaitFor([&] {
      shown = VisibleWindowOfFollowedOrChild(ids);
      return !shown.empty() || WaitForSingleObject(followed, 0) == WAIT_OBJECT_0;
    });
    if (!shown.empty()) {
      // A copy that waits for an answer would outlive the driver.
      for (size_t i = 1; i < ids.size(); ++i) {
        HANDLE child = OpenProcess(PROCESS_TERMINATE, FALSE, ids[i]);
        if (child != nullptr) TerminateProcess(child, 99), CloseHandle(child);
      }
      Fail("the quiet setup shows a window: %s", shown.c_str());
    }
    if (!ended) Fail("the quiet setup did not end");
    DWORD code = 0;
    GetExitCodeProcess(followed, &code);
    if (static_cast<long>(code) != std::atol(words[1].c_str())) {
      Fail("the setup ended with %ld, expected %s", static_cast<long>(code), words[1].c_str());
    }
  } else if (verb == "alone") {
    need(1);
    Alone(Unescape(words[1]));
  } else if (verb == "hold") {
    need(1);
    std::string path = Unescape(words[1]);
    // As a program that has the file open does: others may read and write
    // it, but it cannot be deleted or renamed over while held.
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) Fail("cannot hold %s open", path.c_str());
    heldFiles[path] = file;
  } else if (verb == "release") {
    need(1);
    auto found = heldFiles.find(Unescape(words[1]));
    if (found == heldFiles.end()) Fail("%s is not held", words[1].c_str());
    CloseHandle(found->second);
    heldFiles.erase(found);
  } else if (verb == "copy") {
    need(2);
    if (!CopyFileA(Unescape(words[1]).c_str(), Unescape(words[2]).c_str(), FALSE)) {
      Fail("cannot copy (error %lu)", GetLastError());
    }
  } else if (verb == "chooser") {
    need(1);
    ChooseFolder(Unescape(words[1]));
  } else if (verb == "sleep") {
    need(1);
    Sleep(static_cast<DWORD>(std::atol(words[1].c_str())));
  } else {
    Fail("unknown step");
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: setup_driver SCRIPT\n");
    return 2;
  }
  if (const char* shots = std::getenv("SETUP_SHOTS")) shotFolder = shots;
  if (const char* limit = std::getenv("SETUP_DRIVER_TIMEOUT_MS")) timeoutMs = std::atol(limit);
  FILE* script = std::fopen(argv[1], "rb");
  if (script == nullptr) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 2;
  }
  std::string line;
  for (int c; (c = std::fgetc(script)) != EOF;) {
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty() && line[0] != '#') steps.push_back(line);
      line.clear();
    } else {
      line += static_cast<char>(c);
    }
  }
  if (!line.empty()) steps.push_back(line);
  std::fclose(script);
  for (stepIndex = 0; stepIndex < steps.size(); ++stepIndex) {
    std::printf("step %zu: %s\n", stepIndex + 1, Escape(steps[stepIndex]).c_str());
    std::fflush(stdout);
    Run(Split(steps[stepIndex]));
  }
  for (auto& held : heldFiles) CloseHandle(held.second);
  // A setup still running at the end was not meant to: it is ended.
  if (Running()) {
    stepIndex = steps.size();
    Fail("the setup is still running after the last step");
  }
  return 0;
}

// SPDX-License-Identifier: GPL-3.0-or-later
// Two windowed programs, each in its own network namespace, share one virtual X display (Xvfb) and
// are driven by real key strokes and clicks (xdotool, through the X server's test extension) until
// a channel line each way, a private message with its confirmation and a bell have crossed between
// them. What each window showed is read back from its conversation log (--log); screenshots of
// both windows after every step are kept as PNG files next to the logs.
//
// X clients in a network namespace cannot reach the server's abstract socket (those are per
// network namespace); they connect through the filesystem socket /tmp/.X11-unix/X<n>.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QImage>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "netns_support.h"

namespace plumo {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using testing::ChildProcess;
using testing::RunNetnsScript;

// Waits, kept within the test's time limit of 120 s; a run takes about 5 s (8 s on a busy machine).
constexpr int kStartMs = 15000;
constexpr int kCrossMs = 10000;
constexpr int kExitMs = 10000;

bool OnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
  }
  return false;
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (done()) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Runs xdotool with args on the display named by DISPLAY; its standard output, or nullopt when
// it failed.
std::optional<std::string> Xdotool(const std::string& args) {
  FILE* pipe = ::popen(("xdotool " + args + " 2>/dev/null").c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string out;
  char chunk[256];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) out.append(chunk, n);
  const int status = ::pclose(pipe);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return out;
}

// The visible top-level windows of a process (its main window, and a menu while one is open).
std::vector<std::string> VisibleWindows(int pid) {
  std::vector<std::string> windows;
  std::stringstream lines(Xdotool("search --onlyvisible --pid " + std::to_string(pid)).value_or(""));
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty()) windows.push_back(line);
  }
  return windows;
}

// Xvfb on the first free display, listening only on its local sockets; killed with the test.
class VirtualDisplay {
 public:
  explicit VirtualDisplay(const fs::path& logFile) {
    int ready[2];
    if (::pipe(ready) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      ::close(ready[0]);
      const int log = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (log >= 0) {
        ::dup2(log, STDOUT_FILENO);
        ::dup2(log, STDERR_FILENO);
      }
      const std::string fd = std::to_string(ready[1]);
      ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "2560x1440x24", "-nolisten", "tcp",
               "-noreset", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(ready[1]);
    // Xvfb writes the display number once it accepts connections.
    std::string number;
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    while (number.find('\n') == std::string::npos && Clock::now() < deadline) {
      pollfd p{ready[0], POLLIN, 0};
      if (::poll(&p, 1, 200) <= 0) continue;
      char c[16];
      const ssize_t n = ::read(ready[0], c, sizeof c);
      if (n <= 0) break;
      number.append(c, static_cast<std::size_t>(n));
    }
    ::close(ready[0]);
    if (number.find('\n') != std::string::npos) number_ = std::stoi(number);
  }
  ~VirtualDisplay() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    if (!WaitUntil([this] { return ::waitpid(pid_, nullptr, WNOHANG) == pid_; }, 5000)) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  // Empty when the display is up and reachable from another network namespace, else why not.
  std::string Problem() const {
    if (number_ < 0) return "Xvfb did not start (see its log)";
    const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number_);
    if (!fs::is_socket(socket)) return "Xvfb made no filesystem socket " + socket;
    return {};
  }
  std::string Name() const { return ":" + std::to_string(number_); }

 private:
  int pid_ = -1;
  int number_ = -1;
};

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
};

// The test's own X connection: window geometry and screenshots.
class XConnection {
 public:
  explicit XConnection(const std::string& display) : c_(::xcb_connect(display.c_str(), nullptr)) {}
  ~XConnection() { ::xcb_disconnect(c_); }
  XConnection(const XConnection&) = delete;
  XConnection& operator=(const XConnection&) = delete;

  bool Ok() const { return ::xcb_connection_has_error(c_) == 0; }

  // The window's rectangle in screen coordinates.
  std::optional<Rect> Geometry(xcb_window_t window) {
    std::unique_ptr<xcb_get_geometry_reply_t, decltype(&std::free)> g(
        ::xcb_get_geometry_reply(c_, ::xcb_get_geometry(c_, window), nullptr), &std::free);
    if (!g) return std::nullopt;
    std::unique_ptr<xcb_translate_coordinates_reply_t, decltype(&std::free)> t(
        ::xcb_translate_coordinates_reply(c_, ::xcb_translate_coordinates(c_, window, g->root, 0, 0),
                                          nullptr),
        &std::free);
    if (!t) return std::nullopt;
    return Rect{t->dst_x, t->dst_y, g->width, g->height};
  }

  // Saves what the window shows as a PNG file (a 24-bit screen: 32-bit pixels, blue first).
  bool SavePng(xcb_window_t window, const fs::path& file) {
    const std::optional<Rect> r = Geometry(window);
    if (!r) return false;
    std::unique_ptr<xcb_get_image_reply_t, decltype(&std::free)> image(
        ::xcb_get_image_reply(
            c_,
            ::xcb_get_image(c_, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0, static_cast<std::uint16_t>(r->width),
                            static_cast<std::uint16_t>(r->height), ~0u),
            nullptr),
        &std::free);
    if (!image || image->depth != 24 ||
        ::xcb_get_image_data_length(image.get()) != r->width * r->height * 4) {
      return false;
    }
    const QImage shot(::xcb_get_image_data(image.get()), r->width, r->height, QImage::Format_RGB32);
    return shot.save(QString::fromStdString(file.string()), "PNG");
  }

  // Moves the window to the screen's top left corner above every other window and gives it this
  // size (there is no window manager to refuse); true once the server reports the new size.
  bool Resize(xcb_window_t window, int width, int height) {
    const std::uint32_t values[] = {0, 0, static_cast<std::uint32_t>(width),
                                    static_cast<std::uint32_t>(height), XCB_STACK_MODE_ABOVE};
    ::xcb_configure_window(c_, window,
                           XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                               XCB_CONFIG_WINDOW_HEIGHT | XCB_CONFIG_WINDOW_STACK_MODE,
                           values);
    ::xcb_flush(c_);
    return WaitUntil(
        [&] {
          const std::optional<Rect> r = Geometry(window);
          return r && r->width == width && r->height == height;
        },
        5000);
  }

 private:
  xcb_connection_t* c_;
};

// One windowed program in host namespace `host`, with its program directory and its log. An empty
// language file name leaves the program's default language (Russian).
class WindowProgram {
 public:
  WindowProgram(const std::string& display, int host, const std::string& nick, int left, const fs::path& root,
                const std::string& language = "english.lng")
      : nick_(nick), dir_(root / nick), log_(root / (nick + ".log")) {
    fs::create_directories(dir_);
    fs::create_directories(root / ("runtime-" + nick));
    fs::permissions(root / ("runtime-" + nick), fs::perms::owner_all);
    std::ofstream ini(dir_ / "chat.ini");
    ini << "[Main]\r\n";
    if (!language.empty()) ini << "Language=" << language << "\r\n";
    ini << "MyName=" << nick << "\r\nFormL=" << left << "\r\nFormT=0\r\nFormW=640\r\nFormH=480\r\n";
    ini.close();
    process_ = std::make_unique<ChildProcess>(std::vector<std::string>{
        PLUMO_NETNS_SCRIPT, "exec", std::to_string(host), "/usr/bin/env", "DISPLAY=" + display,
        "QT_QPA_PLATFORM=xcb", "XDG_RUNTIME_DIR=" + (root / ("runtime-" + nick)).string(),
        // No session bus here, and none is to be started: without an address the D-Bus library
        // would try to launch one through the X display (and leak its buffer when that fails).
        "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent", PLUMO_BINARY, "--dir", dir_.string(), "--log",
        log_.string()});
  }
  ~WindowProgram() { Close(5000); }
  WindowProgram(const WindowProgram&) = delete;
  WindowProgram& operator=(const WindowProgram&) = delete;

  // SIGTERM closes the window and the program leaves in order; its exit status (-1 when it had
  // to be killed or died of a signal).
  int Close(int timeoutMs) {
    if (!process_) return -1;
    process_->Signal(SIGTERM);
    const int status = process_->Finish(timeoutMs);
    process_.reset();
    return status;
  }

  // Waits for the main window to show.
  bool FindWindow(int timeoutMs) {
    return WaitUntil(
        [this] {
          if (!process_) return false;
          const std::vector<std::string> windows = VisibleWindows(process_->Pid());
          if (windows.size() != 1) return false;
          window_ = windows.front();
          return true;
        },
        timeoutMs);
  }

  const std::string& Nick() const { return nick_; }
  const std::string& Window() const { return window_; }
  int Pid() const { return process_ ? process_->Pid() : -1; }
  std::vector<std::string> LogRecords() const {
    std::vector<std::string> records;
    std::ifstream in(log_);
    std::string line;
    while (std::getline(in, line)) records.push_back(line);
    return records;
  }
  bool Logged(const std::regex& record) const {
    for (const std::string& r : LogRecords()) {
      if (std::regex_search(r, record)) return true;
    }
    return false;
  }
  std::string LogText() const {
    std::string text;
    for (const std::string& r : LogRecords()) text += "  " + r + "\n";
    return text;
  }

 private:
  std::string nick_;
  fs::path dir_;
  fs::path log_;
  std::string window_;
  std::unique_ptr<ChildProcess> process_;
};

// The keyboard and the mouse of the virtual display, aimed at one window at a time.
class Driver {
 public:
  explicit Driver(XConnection& x) : x_(x) {}

  // Gives the window the input focus (there is no window manager to do it).
  void Focus(const WindowProgram& w) {
    ASSERT_TRUE(Xdotool("windowfocus --sync " + w.Window())) << "cannot focus the window of " << w.Nick();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  void Type(const std::string& text) { ASSERT_TRUE(Xdotool("type --delay 30 " + Quoted(text))); }
  void Keys(const std::string& keys) { ASSERT_TRUE(Xdotool("key --delay 60 " + keys)); }
  // A click into the roster ListView1 below its rows: the list takes the focus. The list fills the
  // lower right corner of the window.
  void ClickRoster(const WindowProgram& w) {
    const std::optional<Rect> r = x_.Geometry(static_cast<xcb_window_t>(std::stoul(w.Window())));
    ASSERT_TRUE(r);
    const int x = r->x + r->width - 40;
    const int y = r->y + r->height - 30;
    ASSERT_TRUE(Xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1"));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  // Opens the roster menu PopupMenu2 with the context-menu key on the selected row of the focused
  // list, chooses the item `downs` rows down (separators are skipped) and waits for the menu to close.
  void RosterMenuItem(const WindowProgram& w, int downs) {
    Keys("Menu");
    ASSERT_TRUE(WaitUntil([&w] { return VisibleWindows(w.Pid()).size() == 2; }, 5000))
        << "the roster menu did not open in the window of " << w.Nick();
    std::string keys;
    for (int i = 0; i < downs; ++i) keys += "Down ";
    Keys(keys + "Return");
    ASSERT_TRUE(WaitUntil([&w] { return VisibleWindows(w.Pid()).size() == 1; }, 5000))
        << "the roster menu did not close in the window of " << w.Nick();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }

 private:
  XConnection& x_;
};

class WindowE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "SKIPPED: network namespaces need root";
    for (const char* tool : {"Xvfb", "xdotool"}) {
      if (!OnPath(tool)) GTEST_SKIP() << "SKIPPED: " << tool << " is not installed (scripts/install-deps.sh)";
    }
    prefix_ = testing::OwnNetnsPrefix("pw");
    std::string why;
    if (RunNetnsScript(prefix_, "check", &why) != 0) {
      GTEST_SKIP() << "SKIPPED: network namespaces cannot be made here: " << why;
    }
    ASSERT_EQ(RunNetnsScript(prefix_, "up 2", &why), 0) << why;
    up_ = true;
    ::setenv("PLUMO_NS_PREFIX", prefix_.c_str(), 1);
  }
  void TearDown() override {
    if (up_) RunNetnsScript(prefix_, "down");
  }

  std::string prefix_;
  bool up_ = false;
};

// One crossing: what the user does in a window, and the records it must leave in the logs.
struct Expected {
  int peer;            // 0 alice, 1 bob
  std::string record;  // a regular expression
};
// An empty folder for one test's logs and screenshots, kept after the run and named in its output.
fs::path FreshArtifacts(const char* name) {
  const fs::path artifacts = fs::path(PLUMO_E2E_ARTIFACTS) / name;
  fs::remove_all(artifacts);
  fs::create_directories(artifacts);
  std::cout << "[ artifacts ] logs and screenshots in " << artifacts.string() << std::endl;
  return artifacts;
}

struct Step {
  const char* name;
  std::function<void(Driver&, WindowProgram& alice, WindowProgram& bob)> act;
  std::vector<Expected> expected;
};

TEST_F(WindowE2eTest, ChannelLinesPrivateMessageAndBellCrossByKeyboard) {
  const fs::path artifacts = FreshArtifacts("window");

  // Declared after the LAN (SetUp) and before the programs: the display goes after them.
  VirtualDisplay display(artifacts / "xvfb.log");
  ASSERT_EQ(display.Problem(), "");
  ::setenv("DISPLAY", display.Name().c_str(), 1);
  XConnection x(display.Name());
  ASSERT_TRUE(x.Ok()) << "cannot connect to " << display.Name();

  // Alice first, so that her console greets bob when he arrives.
  WindowProgram alice(display.Name(), 1, "alice", 0, artifacts);
  ASSERT_TRUE(alice.FindWindow(kStartMs)) << "alice's window did not show";
  ASSERT_TRUE(WaitUntil([&] { return alice.Logged(std::regex("^#\t.*New user : alice ")); }, kStartMs))
      << alice.LogText();
  WindowProgram bob(display.Name(), 2, "bob", 650, artifacts);
  ASSERT_TRUE(bob.FindWindow(kStartMs)) << "bob's window did not show";
  ASSERT_TRUE(WaitUntil([&] { return alice.Logged(std::regex("^#\t.*New user : bob ")); }, kStartMs))
      << alice.LogText();

  Driver driver(x);
  const std::string time = R"(\[\d\d:\d\d:\d\d\])";
  const std::vector<Step> steps = {
      {"channel-line",  // typed in the line editor, Return sends it to "Main"
       [](Driver& d, WindowProgram& a, WindowProgram&) {
         d.Focus(a);
         d.Type("hello from the window");
         d.Keys("Return");
       },
       {{1, "^Main\t" + time + " alice: hello from the window$"}}},
      {"channel-line-back",
       [](Driver& d, WindowProgram&, WindowProgram& b) {
         d.Focus(b);
         d.Type("hi alice");
         d.Keys("Return");
       },
       {{0, "^Main\t" + time + " bob: hi alice$"}}},
      {"private-message",  // bob selected in the roster (Home, End), "Message" from its menu,
                           // the reply typed and sent with Ctrl+Return
       [](Driver& d, WindowProgram& a, WindowProgram&) {
         d.Focus(a);
         d.ClickRoster(a);
         d.Keys("Home End");
         d.RosterMenuItem(a, 1);
         d.Type("a secret for bob");
         d.Keys("ctrl+Return");
       },
       {{1, "^" + time + " <-alice\ta secret for bob$"}, {0, "^#\t" + time + " Message received by bob "}}},
      {"reply-tab",  // Ctrl+Tab shows bob the reply tab, with its status line: encrypted to alice
       [](Driver& d, WindowProgram&, WindowProgram& b) {
         d.Focus(b);
         d.Keys("ctrl+Tab");
         std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the status line follows
       },
       {}},
      {"bell",  // "Send a bell" (N22), the fourth item of the roster menu
       [](Driver& d, WindowProgram& a, WindowProgram&) {
         d.Focus(a);
         d.ClickRoster(a);
         d.Keys("Home End");
         d.RosterMenuItem(a, 4);
       },
       {{1, "^#\t" + time + " alice sent you bell number 0$"},
        {0, "^#\t" + time + " Bell received by bob "}}},
  };
  WindowProgram* peers[] = {&alice, &bob};
  int number = 0;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    step.act(driver, alice, bob);
    bool crossed = !::testing::Test::HasFatalFailure();
    for (const Expected& e : step.expected) {
      const WindowProgram& peer = *peers[e.peer];
      const std::regex record(e.record);
      const bool seen = crossed && WaitUntil([&] { return peer.Logged(record); }, kCrossMs);
      EXPECT_TRUE(seen) << peer.Nick() << "'s log has no record matching " << e.record << ":\n"
                        << peer.LogText();
      crossed = crossed && seen;
    }
    ++number;
    for (WindowProgram* p : peers) {
      const fs::path shot = artifacts / (std::to_string(number) + "-" + step.name + "-" + p->Nick() + ".png");
      EXPECT_TRUE(x.SavePng(static_cast<xcb_window_t>(std::stoul(p->Window())), shot)) << shot;
    }
    if (!crossed) return;
  }

  // "Check key…" (the roster menu's seventh item) opens bob's key in alice's window; Enter starts
  // the six-digit check, and bob's window brings up alice's key with the same digits. Screenshots:
  // key-dialog-alice.png, key-check-alice.png and key-check-bob.png.
  const auto dialogOf = [](const WindowProgram& w) {
    std::string dialog;
    WaitUntil(
        [&] {
          dialog.clear();
          const std::vector<std::string> windows = VisibleWindows(w.Pid());
          for (const std::string& window : windows)
            if (window != w.Window()) dialog = window;
          return windows.size() == 2;
        },
        5000);
    return dialog;
  };
  driver.Focus(alice);
  driver.ClickRoster(alice);
  driver.Keys("Home End Menu");
  ASSERT_FALSE(dialogOf(alice).empty()) << "the roster menu did not open";
  driver.Keys("Down Down Down Down Down Down Down Return");
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));  // the menu closes, the dialog opens
  const std::string keyDialog = dialogOf(alice);
  ASSERT_FALSE(keyDialog.empty()) << "Check key… opened no dialog";
  EXPECT_TRUE(
      x.SavePng(static_cast<xcb_window_t>(std::stoul(keyDialog)), artifacts / "key-dialog-alice.png"));
  ASSERT_TRUE(Xdotool("windowfocus --sync " + keyDialog));
  driver.Keys("Return");
  const std::string bobDialog = dialogOf(bob);
  ASSERT_FALSE(bobDialog.empty()) << "bob's window did not bring up the check";
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // both reach the digits
  EXPECT_TRUE(x.SavePng(static_cast<xcb_window_t>(std::stoul(keyDialog)), artifacts / "key-check-alice.png"));
  EXPECT_TRUE(x.SavePng(static_cast<xcb_window_t>(std::stoul(bobDialog)), artifacts / "key-check-bob.png"));

  // Closing alice's window announces her leave to bob; both programs end cleanly (under the
  // sanitizers: without leaks or errors).
  EXPECT_EQ(alice.Close(kExitMs), 0);
  EXPECT_TRUE(
      WaitUntil([&] { return bob.Logged(std::regex("^#\t" + time + " User left : alice ")); }, kCrossMs))
      << bob.LogText();
  EXPECT_EQ(bob.Close(kExitMs), 0);
}

// The window at a small, a laptop's and a large screen's size, in both languages, with a line in the
// channel and a peer in the roster: the screenshots size-<W>x<H>-<language>.png show how the panels
// share the space, and settings-<language>.png the settings dialog opened with F9. The server must report
// each size, and the program must end cleanly after it.
TEST_F(WindowE2eTest, WindowAtThreeSizesInBothLanguages) {
  const fs::path artifacts = FreshArtifacts("window-sizes");

  VirtualDisplay display(artifacts / "xvfb.log");
  ASSERT_EQ(display.Problem(), "");
  ::setenv("DISPLAY", display.Name().c_str(), 1);
  XConnection x(display.Name());
  ASSERT_TRUE(x.Ok()) << "cannot connect to " << display.Name();
  Driver driver(x);

  struct Language {
    const char* name;
    const char* file;  // empty: the default language
    const char* nick;
    const char* peer;
  };
  const Language languages[] = {{"russian", "", "ivan", "olga"}, {"english", "english.lng", "alice", "bob"}};
  const std::pair<int, int> sizes[] = {{640, 480}, {1280, 800}, {2560, 1440}};
  for (const Language& language : languages) {
    SCOPED_TRACE(language.name);
    WindowProgram window(display.Name(), 1, language.nick, 0, artifacts, language.file);
    ASSERT_TRUE(window.FindWindow(kStartMs)) << "the window did not show";
    // The peer only fills the roster; the window under test is raised above it for each shot.
    WindowProgram peer(display.Name(), 2, language.peer, 700, artifacts, language.file);
    ASSERT_TRUE(peer.FindWindow(kStartMs)) << "the peer's window did not show";
    driver.Focus(window);
    driver.Type("The quick brown fox jumps over the lazy dog, and the line wraps where the window ends.");
    driver.Keys("Return");
    const std::regex line("^Main\t.* " + std::string(language.nick) + ": The quick brown fox");
    ASSERT_TRUE(WaitUntil([&] { return peer.Logged(line); }, kCrossMs)) << peer.LogText();
    const auto id = static_cast<xcb_window_t>(std::stoul(window.Window()));
    for (const auto& [width, height] : sizes) {
      ASSERT_TRUE(x.Resize(id, width, height)) << width << "x" << height;
      std::this_thread::sleep_for(std::chrono::milliseconds(800));  // layout and paint
      const fs::path shot = artifacts / ("size-" + std::to_string(width) + "x" + std::to_string(height) +
                                         "-" + language.name + ".png");
      EXPECT_TRUE(x.SavePng(id, shot)) << shot;
    }
    // F9 opens the settings dialog in the same language: settings-<language>.png shows whether
    // every tab's caption fits.
    driver.Focus(window);
    driver.Keys("F9");
    std::string dialog;
    ASSERT_TRUE(WaitUntil(
        [&] {
          for (const std::string& w : VisibleWindows(window.Pid()))
            if (w != window.Window()) dialog = w;
          return !dialog.empty();
        },
        5000))
        << "F9 opened no settings dialog";
    std::this_thread::sleep_for(std::chrono::milliseconds(800));  // layout and paint
    const fs::path settingsShot = artifacts / ("settings-" + std::string(language.name) + ".png");
    EXPECT_TRUE(x.SavePng(static_cast<xcb_window_t>(std::stoul(dialog)), settingsShot)) << settingsShot;
    EXPECT_EQ(window.Close(kExitMs), 0);
    EXPECT_EQ(peer.Close(kExitMs), 0);
  }
}

}  // namespace
}  // namespace plumo

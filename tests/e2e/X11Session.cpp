#include "tests/e2e/X11Session.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <thread>

namespace e2e {
namespace {

// Runs a shell command; its standard output, and its exit status in *ExitCode when asked.
std::string Run(const std::string& command, int* ExitCode = nullptr) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) throw std::runtime_error("cannot run " + command);
  std::string out;
  char buf[256];
  while (fgets(buf, sizeof buf, pipe)) out += buf;
  const int status = pclose(pipe);
  if (ExitCode) *ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

bool Succeeds(const std::string& command) {
  int status = -1;
  Run(command, &status);
  return status == 0;
}

// Single quotes for the shell around any text.
std::string Quoted(const std::string& Text) {
  std::string out = "'";
  for (char c : Text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string Id(unsigned long Window) { return std::to_string(Window); }

void Settle() { std::this_thread::sleep_for(std::chrono::milliseconds(150)); }

// The caption of a window as the toolkit sets it: _NET_WM_NAME in UTF-8. Read here rather than
// through xdotool, whose name search depends on the locale for anything beyond ASCII.
std::string windowCaption(Display* display, Window window) {
  Atom netWmName = XInternAtom(display, "_NET_WM_NAME", False);
  Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  std::string caption;
  if (XGetWindowProperty(display, window, netWmName, 0, 1024, False, utf8, &type, &format, &count,
                         &after, &data) == Success &&
      data) {
    if (type == utf8 && format == 8) caption.assign(reinterpret_cast<char*>(data), count);
    XFree(data);
  }
  return caption;
}

// Windows come and go while the tree is walked: a request about a window that has just gone is
// answered with an error, which must not end the test (Xlib's default handler exits).
int ignoreXError(Display*, XErrorEvent*) { return 0; }

Display* openDisplay() {
  XSetErrorHandler(ignoreXError);
  return XOpenDisplay(nullptr);
}

// Depth first through the window tree below Parent: the first viewable window with Caption.
Window findWindow(Display* display, Window parent, const std::string& caption) {
  Window root, up;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(display, parent, &root, &up, &children, &count)) return 0;
  Window found = 0;
  for (unsigned int i = 0; i < count && !found; ++i) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, children[i], &attributes) &&
        attributes.map_state == IsViewable && windowCaption(display, children[i]) == caption)
      found = children[i];
    else
      found = findWindow(display, children[i], caption);
  }
  if (children) XFree(children);
  return found;
}

}  // namespace

unsigned long WaitForWindow(const std::string& Caption, int TimeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  std::unique_ptr<Display, int (*)(Display*)> display(openDisplay(), XCloseDisplay);
  if (!display) throw std::runtime_error("no X display");
  while (std::chrono::steady_clock::now() < deadline) {
    Window found = findWindow(display.get(), DefaultRootWindow(display.get()), Caption);
    if (found) return found;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return 0;
}

bool WaitForNoWindow(const std::string& Caption, int TimeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  std::unique_ptr<Display, int (*)(Display*)> display(openDisplay(), XCloseDisplay);
  if (!display) throw std::runtime_error("no X display");
  while (findWindow(display.get(), DefaultRootWindow(display.get()), Caption)) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

TWindowGeometry Geometry(unsigned long Window) {
  std::string out = Run("xdotool getwindowgeometry --shell " + std::to_string(Window));
  TWindowGeometry g;
  auto value = [&](const char* key) {
    auto p = out.find(key);
    return p == std::string::npos ? 0 : std::atoi(out.c_str() + p + std::string(key).size());
  };
  g.Width = value("WIDTH=");
  g.Height = value("HEIGHT=");
  return g;
}

void FocusAndType(unsigned long Window, const std::string& XdotoolKey) {
  Run("xdotool windowfocus --sync " + std::to_string(Window) + " key " + XdotoolKey);
}

void RequestClose(unsigned long Window) {
  Display* display = openDisplay();
  if (!display) throw std::runtime_error("no X display");
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = Window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, Window, False, NoEventMask, &event);
  XFlush(display);
  XCloseDisplay(display);
}

void Activate(unsigned long Window) {
  Run("xdotool windowactivate --sync " + Id(Window));
  Settle();
}

void ClickAt(unsigned long Window, int X, int Y, int Count) {
  Run("xdotool mousemove --window " + Id(Window) + " " + std::to_string(X) + " " +
      std::to_string(Y) + " click --repeat " + std::to_string(Count) + " --delay 80 1");
  Settle();
}

void TypeText(const std::string& Text) {
  Run("xdotool type --delay 40 -- " + Quoted(Text));
  Settle();
}

void PressKeys(const std::string& XdotoolKeys) {
  Run("xdotool key --delay 60 " + XdotoolKeys);
  Settle();
}

bool SaveScreenshot(unsigned long Window, const std::string& Path) {
  return Succeeds("import -window " + Id(Window) + " " + Quoted(Path));
}

void CloseThroughWindowManager(unsigned long Window) { Run("wmctrl -i -c " + Id(Window)); }

std::string WindowList() { return Run("wmctrl -l 2>&1"); }

TWindowManager::TWindowManager() {
  if (Succeeds("wmctrl -m >/dev/null 2>&1")) return;
  FPid = fork();
  if (FPid < 0) throw std::runtime_error("fork failed");
  if (FPid == 0) {
    const int devNull = open("/dev/null", O_WRONLY);
    if (devNull >= 0) {
      dup2(devNull, STDOUT_FILENO);
      dup2(devNull, STDERR_FILENO);
    }
    execlp("openbox", "openbox", static_cast<char*>(nullptr));
    _exit(127);
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!Succeeds("wmctrl -m >/dev/null 2>&1")) {
    if (waitpid(FPid, nullptr, WNOHANG) == FPid) {
      FPid = -1;
      throw std::runtime_error("openbox ended at its start");
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(FPid, SIGTERM);
      waitpid(FPid, nullptr, 0);
      FPid = -1;
      throw std::runtime_error("openbox did not answer");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

TWindowManager::~TWindowManager() {
  if (FPid <= 0) return;
  kill(FPid, SIGTERM);
  waitpid(FPid, nullptr, 0);
}

TProgram::TProgram(const std::string& Path, const std::vector<std::string>& Args,
                   const std::vector<std::string>& Env) {
  FPid = fork();
  if (FPid < 0) throw std::runtime_error("fork failed");
  if (FPid == 0) {
    for (const auto& kv : Env) putenv(const_cast<char*>(kv.c_str()));
    std::vector<char*> argv = {const_cast<char*>(Path.c_str())};
    for (const auto& a : Args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(Path.c_str(), argv.data());
    _exit(127);
  }
}

TProgram::~TProgram() {
  if (!FExited && FPid > 0) {
    kill(FPid, SIGKILL);
    waitpid(FPid, nullptr, 0);
  }
}

int TProgram::WaitExit(int TimeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeoutMs);
  while (!FExited) {
    pid_t r = waitpid(FPid, &FStatus, WNOHANG);
    if (r == FPid) {
      FExited = true;
      break;
    }
    if (std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(FStatus) ? WEXITSTATUS(FStatus) : 128 + WTERMSIG(FStatus);
}

}  // namespace e2e

#include "tests/e2e/X11Session.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
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

std::string Run(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) throw std::runtime_error("cannot run " + command);
  std::string out;
  char buf[256];
  while (fgets(buf, sizeof buf, pipe.get())) out += buf;
  return out;
}

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
  std::unique_ptr<Display, int (*)(Display*)> display(XOpenDisplay(nullptr), XCloseDisplay);
  if (!display) throw std::runtime_error("no X display");
  while (std::chrono::steady_clock::now() < deadline) {
    Window found = findWindow(display.get(), DefaultRootWindow(display.get()), Caption);
    if (found) return found;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return 0;
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
  Display* display = XOpenDisplay(nullptr);
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

// Drives the real program's windows on the X display of the test (Xvfb): finds windows by
// caption, reads their geometry, gives them the focus, types keys and text and clicks as real
// input events (XTEST, through xdotool), takes screenshots (imagemagick's import), and asks a
// window to close as the close box of its title bar does, either directly (WM_DELETE_WINDOW,
// which needs no window manager) or through the window manager (wmctrl). TWindowManager runs
// openbox on the display, so that activation and closing behave as on a desktop.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace e2e {

// A point in a window's client area (a control's centre, for a click).
struct TPoint {
  int X;
  int Y;
};

struct TWindowGeometry {
  int Width = 0;
  int Height = 0;
};

// Waits up to TimeoutMs for a mapped window whose caption is exactly Caption; 0 when none came.
unsigned long WaitForWindow(const std::string& Caption, int TimeoutMs = 20000);
// Waits up to TimeoutMs until no mapped window has the caption; false when one is still there.
bool WaitForNoWindow(const std::string& Caption, int TimeoutMs = 20000);
TWindowGeometry Geometry(unsigned long Window);
void FocusAndType(unsigned long Window, const std::string& XdotoolKey);
void RequestClose(unsigned long Window);

// Makes the window the active one through the window manager and waits until it is.
void Activate(unsigned long Window);
// Moves the pointer to X, Y of the window's client area and clicks the left button Count times.
void ClickAt(unsigned long Window, int X, int Y, int Count = 1);
inline void ClickAt(unsigned long Window, TPoint At, int Count = 1) {
  ClickAt(Window, At.X, At.Y, Count);
}
// Types Text (ASCII) into whatever has the keyboard focus.
void TypeText(const std::string& Text);
// Presses keys (xdotool key names, e.g. "Return" or "Down Down") into whatever has the focus.
void PressKeys(const std::string& XdotoolKeys);
// Writes a PNG picture of the window to Path; false when import failed.
bool SaveScreenshot(unsigned long Window, const std::string& Path);
// Asks the window manager to close the window, as a click on its close box does.
void CloseThroughWindowManager(unsigned long Window);
// The window manager's list of windows (wmctrl -l), for failure messages.
std::string WindowList();

// openbox on the test's display for as long as the object lives, unless a window manager is
// already running there. The constructor returns once the window manager answers.
class TWindowManager {
 public:
  TWindowManager();
  ~TWindowManager();
  TWindowManager(const TWindowManager&) = delete;
  TWindowManager& operator=(const TWindowManager&) = delete;

 private:
  pid_t FPid = -1;
};

// The real program started with arguments and extra environment variables.
class TProgram {
 public:
  TProgram(const std::string& Path, const std::vector<std::string>& Args,
           const std::vector<std::string>& Env = {});
  ~TProgram();
  TProgram(const TProgram&) = delete;
  TProgram& operator=(const TProgram&) = delete;
  // The exit code (128 + signal when killed), or -1 when it is still running after TimeoutMs.
  int WaitExit(int TimeoutMs = 20000);

 private:
  pid_t FPid = -1;
  bool FExited = false;
  int FStatus = 0;
};

}  // namespace e2e

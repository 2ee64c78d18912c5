// Drives the real program's windows on the X display of the test (Xvfb): finds windows by
// caption, reads their geometry, gives them the focus, types keys as real input events
// (XTEST, through xdotool) and asks a window to close as the close box of its title bar does
// (WM_DELETE_WINDOW), which needs no window manager.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace e2e {

struct TWindowGeometry {
  int Width = 0;
  int Height = 0;
};

// Waits up to TimeoutMs for a mapped window whose caption is exactly Caption; 0 when none came.
unsigned long WaitForWindow(const std::string& Caption, int TimeoutMs = 20000);
TWindowGeometry Geometry(unsigned long Window);
void FocusAndType(unsigned long Window, const std::string& XdotoolKey);
void RequestClose(unsigned long Window);

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

// Shared test fixtures: a fresh temporary folder per test, and helper processes.
//
// A test binary that links test_support gets a main() that runs GoogleTest, or, when started as
// "<binary> --helper <name> args...", runs the helper registered under that name and exits with
// its result. Helpers talk to the test through two pipes: the child writes lines on fd 3
// (Signal) and reads lines from fd 4 (WaitCommand). Tests start helpers with THelperProcess,
// which kills a helper still running when it goes out of scope.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the temporary directory, removed with everything in it on destruction.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::string& Path() const { return FPath; }
  std::string File(const std::string& Name) const { return FPath + "/" + Name; }

 private:
  std::string FPath;
};

void WriteFile(const std::string& Path, const std::string& Bytes);
std::string ReadFile(const std::string& Path);

// --- Helper processes -------------------------------------------------------------------------

using THelperFunction = std::function<int(const std::vector<std::string>& Args)>;

// Registers a helper; use through TEST_HELPER.
struct THelperRegistrar {
  THelperRegistrar(const char* Name, THelperFunction Function);
};

#define TEST_HELPER(name)                                                              \
  static int name##_helper(const std::vector<std::string>& Args);                      \
  static ::testsupport::THelperRegistrar name##_registrar(#name, &name##_helper);      \
  static int name##_helper([[maybe_unused]] const std::vector<std::string>& Args)

// In a helper: send one line to the test, read one line from it ("" when the test went away).
void Signal(const std::string& Line);
std::string WaitCommand();

class THelperProcess {
 public:
  // Starts this test binary in helper mode.
  THelperProcess(const std::string& Name, const std::vector<std::string>& Args = {});
  ~THelperProcess();
  THelperProcess(const THelperProcess&) = delete;
  THelperProcess& operator=(const THelperProcess&) = delete;

  // Reads the next line the helper signalled; "" on end of file or after TimeoutMs.
  std::string ReadLine(int TimeoutMs = 20000);
  void Send(const std::string& Line);
  void Kill();
  // Waits for the helper to end; its exit code, or 128 + signal number.
  int Wait();
  pid_t Pid() const { return FPid; }

 private:
  pid_t FPid = -1;
  int FFromChild = -1;
  int FToChild = -1;
  std::string FBuffer;
  bool FExited = false;
  int FStatus = 0;
};

// Runs a program to its end with extra environment variables; answers its exit code
// (128 + signal when killed) and fills Output with what it wrote on stdout and stderr.
int RunProgram(const std::string& Program, const std::vector<std::string>& Args,
               const std::map<std::string, std::string>& Env, std::string* Output = nullptr);

}  // namespace testsupport

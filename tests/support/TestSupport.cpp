#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {
namespace {

constexpr int kToParentFd = 3;
constexpr int kFromParentFd = 4;

std::map<std::string, THelperFunction>& Helpers() {
  static std::map<std::string, THelperFunction> helpers;
  return helpers;
}

std::string SelfPath() {
  std::error_code ec;
  auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) throw std::runtime_error("cannot find the test binary");
  return p.string();
}

bool ReadLineFrom(int fd, std::string& buffer, std::string& line, int timeoutMs) {
  for (;;) {
    auto nl = buffer.find('\n');
    if (nl != std::string::npos) {
      line = buffer.substr(0, nl);
      buffer.erase(0, nl + 1);
      return true;
    }
    if (timeoutMs >= 0) {
      pollfd p{fd, POLLIN, 0};
      int r = poll(&p, 1, timeoutMs);
      if (r == 0) return false;
      if (r < 0 && errno == EINTR) continue;
    }
    char chunk[256];
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    buffer.append(chunk, static_cast<size_t>(n));
  }
}

void WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace

TTempDir::TTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "gdtest-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  FPath = pattern;
}

TTempDir::~TTempDir() {
  std::error_code ec;
  // Files the tests made read-only must not stop the clean-up.
  for (auto& e : std::filesystem::recursive_directory_iterator(FPath, ec))
    std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(FPath, ec);
}

void WriteFile(const std::string& Path, const std::string& Bytes) {
  std::ofstream out(Path, std::ios::binary | std::ios::trunc);
  out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + Path);
}

std::string ReadFile(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

THelperRegistrar::THelperRegistrar(const char* Name, THelperFunction Function) {
  Helpers()[Name] = std::move(Function);
}

void Signal(const std::string& Line) { WriteAll(kToParentFd, Line + "\n"); }

std::string WaitCommand() {
  static std::string buffer;
  std::string line;
  return ReadLineFrom(kFromParentFd, buffer, line, -1) ? line : std::string();
}

THelperProcess::THelperProcess(const std::string& Name, const std::vector<std::string>& Args) {
  int up[2], down[2];
  if (pipe2(up, O_CLOEXEC) != 0 || pipe2(down, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  std::string self = SelfPath();
  FPid = fork();
  if (FPid < 0) throw std::runtime_error("fork failed");
  if (FPid == 0) {
    dup2(up[1], kToParentFd);
    dup2(down[0], kFromParentFd);
    std::vector<std::string> argv = {self, "--helper", Name};
    argv.insert(argv.end(), Args.begin(), Args.end());
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    execv(self.c_str(), cargv.data());
    _exit(127);
  }
  close(up[1]);
  close(down[0]);
  FFromChild = up[0];
  FToChild = down[1];
}

THelperProcess::~THelperProcess() {
  if (!FExited) {
    Kill();
    Wait();
  }
  close(FFromChild);
  close(FToChild);
}

std::string THelperProcess::ReadLine(int TimeoutMs) {
  std::string line;
  return ReadLineFrom(FFromChild, FBuffer, line, TimeoutMs) ? line : std::string();
}

void THelperProcess::Send(const std::string& Line) { WriteAll(FToChild, Line + "\n"); }

void THelperProcess::Kill() {
  if (!FExited && FPid > 0) kill(FPid, SIGKILL);
}

int THelperProcess::Wait() {
  if (!FExited) {
    while (waitpid(FPid, &FStatus, 0) < 0 && errno == EINTR) {
    }
    FExited = true;
  }
  return WIFEXITED(FStatus) ? WEXITSTATUS(FStatus) : 128 + WTERMSIG(FStatus);
}

int RunProgram(const std::string& Program, const std::vector<std::string>& Args,
               const std::map<std::string, std::string>& Env, std::string* Output) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(out[1], 2);
    for (auto& [k, v] : Env) setenv(k.c_str(), v.c_str(), 1);
    std::vector<std::string> argv = {Program};
    argv.insert(argv.end(), Args.begin(), Args.end());
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);
    execv(Program.c_str(), cargv.data());
    _exit(127);
  }
  close(out[1]);
  std::string text;
  char chunk[4096];
  for (;;) {
    ssize_t n = read(out[0], chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(chunk, static_cast<size_t>(n));
  }
  close(out[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (Output) *Output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace testsupport

namespace testsupport {

int RunHelper(int argc, char** argv) {
  auto it = Helpers().find(argv[2]);
  if (it == Helpers().end()) {
    std::fprintf(stderr, "unknown helper %s\n", argv[2]);
    return 126;
  }
  std::vector<std::string> args(argv + 3, argv + argc);
  return it->second(args);
}

}  // namespace testsupport

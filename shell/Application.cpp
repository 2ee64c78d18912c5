#include "shell/Application.h"

#include <QApplication>
#include <cstdio>

#include "engine/storage/ZEVExcept.h"
#include "shell/DatabaseDialogs.h"
#include "shell/EventDispatch.h"
#include "shell/MessageBoxes.h"

TApplication* Application = nullptr;

namespace {
// "Gestion des déchets" in Windows-1252.
const char kDefaultTitle[] = "Gestion des d\xE9" "chets";
}  // namespace

TApplication::TApplication()
    : TComponent(nullptr), FTitle(kDefaultTitle), FPrevious(Application) {
  Application = this;
}

TApplication::~TApplication() {
  DestroyComponents();
  FMainForm = nullptr;
  FQApplication.reset();
  if (Application == this) Application = FPrevious;
}

void TApplication::Initialize(int Argc, char** Argv) {
  FArguments.assign(Argv, Argv + std::max(Argc, 0));
  if (!QCoreApplication::instance()) {
    static char fallbackName[] = "gestion-dechets";
    FQtArgv = {FArguments.empty() ? fallbackName : FArguments[0].data(), nullptr};
    FQtArgc = 1;
    FQApplication = std::make_unique<QApplication>(FQtArgc, FQtArgv.data());
  }
  QApplication::setQuitOnLastWindowClosed(false);
  InstallMessageBoxLogFromEnvironment();
  InstallDatabaseDialogs();
}

void TApplication::Run() {
  if (!FMainForm || !QCoreApplication::instance()) return;
  FTerminated = false;
  FireEvent([this] { FMainForm->Show(); });
  if (!FTerminated && FMainForm && FMainForm->GetVisible()) QCoreApplication::exec();
}

void TApplication::Terminate() {
  FTerminated = true;
  if (QCoreApplication::instance()) QCoreApplication::exit(0);
}

void TApplication::ProcessMessages() {
  if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

void TApplication::ShowException(const std::exception& E) {
  TMessageBoxCall call;
  call.Kind = TMessageBoxKind::ShowException;
  auto* own = dynamic_cast<const Exception*>(&E);
  call.Text = own ? own->Message() : AnsiString(E.what());
  call.Caption = FTitle;
  call.Flags = MB_OK | MB_ICONERROR;
  ShowMessageBox(call);
}

void TApplication::ShowUnknownException() { ShowException(Exception(AnsiString())); }

void TApplication::HandleException() {
  try {
    throw;
  } catch (const std::exception& e) {
    ShowException(e);
  } catch (...) {
    ShowUnknownException();
  }
}

void TApplication::FormDestroyed(TForm* Form) {
  if (FMainForm == Form) FMainForm = nullptr;
}

int TApplication::ParamCount() const {
  return FArguments.empty() ? 0 : static_cast<int>(FArguments.size()) - 1;
}

AnsiString TApplication::ParamStr(int Index) const {
  if (Index < 0 || Index >= static_cast<int>(FArguments.size())) return AnsiString();
  // The arguments arrive in the locale's encoding (UTF-8); bytes that are not UTF-8 are taken
  // as they are, so nothing written in the host's single-byte code page is lost.
  const std::string& argument = FArguments[Index];
  return zev::IsValidUtf8(argument) ? zev::AnsiFromUtf8(argument) : argument;
}

AnsiString ApplicationTitle() { return Application ? Application->GetTitle() : kDefaultTitle; }

int ParamCount() { return Application ? Application->ParamCount() : 0; }
AnsiString ParamStr(int Index) { return Application ? Application->ParamStr(Index) : AnsiString(); }

void HandleEventException() noexcept {
  try {
    if (Application) {
      Application->HandleException();
      return;
    }
    try {
      throw;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", zev::Utf8FromAnsi(e.what()).c_str());
    } catch (...) {
      std::fprintf(stderr, "unknown exception\n");
    }
  } catch (...) {
    // A failing message box must not take the event loop down.
  }
}

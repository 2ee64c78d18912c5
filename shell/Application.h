// TApplication: the program's application object, and the global pointer Application to it.
//
// The program's main creates one TApplication (on its stack) before anything else; while it
// exists, Application points to it (a second one, as tests make, points it to itself until it
// goes, and then gives the pointer back). Initialize creates the QApplication (or uses one that
// already exists), installs the message-box log seam when the environment asks for it, and
// keeps the command line for ParamCount/ParamStr; Qt is given only the program name, so no
// parameter of the host is taken as a Qt option.
//
// Ownership: the application owns the QApplication it created and, as a TComponent, every
// form and data module created through CreateForm (or with the application as owner); they are
// destroyed when the application is, the last created first, before the QApplication.
// The first form created through CreateForm becomes the main form. Run shows it and runs the
// event loop until it closes; without a main form Run returns at once.
// Errors: ShowException and HandleException show errors, they raise nothing; CreateForm lets
// the form's constructor errors through (nothing is then registered).
#pragma once

#include <exception>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "engine/tables/Component.h"
#include "shell/Form.h"

class QApplication;

class TApplication : public TComponent {
 public:
  TApplication();
  ~TApplication() override;

  void Initialize(int Argc, char** Argv);
  bool GetMainFormOnTaskBar() const { return FMainFormOnTaskBar; }
  // Kept for the platform's start-up sequence: every window of this toolkit has its own
  // task-bar entry anyway.
  void SetMainFormOnTaskBar(bool OnTaskBar) { FMainFormOnTaskBar = OnTaskBar; }
  const AnsiString& GetTitle() const { return FTitle; }
  void SetTitle(const AnsiString& Title) { FTitle = Title; }

  // Creates a T owned by the application and stores it in Reference. Requires: T derives from
  // TComponent and has a constructor from TComponent*.
  template <class T>
  void CreateForm(T*& Reference) {
    static_assert(std::is_base_of_v<TComponent, T>, "CreateForm needs a component class");
    T* created = new T(this);  // owned by this from its base constructor on
    if constexpr (std::is_base_of_v<TForm, T>)
      if (!FMainForm) FMainForm = created;
    Reference = created;
  }
  TForm* GetMainForm() const { return FMainForm; }

  void Run();
  // Ends Run (and every event loop running inside it).
  void Terminate();
  bool GetTerminated() const { return FTerminated; }
  void ProcessMessages();

  // The standard exception display: a message box with the exception's message, the
  // application title as caption and the error icon (MB_OK | MB_ICONERROR).
  void ShowException(const std::exception& E);
  // The same for a thrown object that is no exception: an exception with empty message.
  void ShowUnknownException();
  // Shows the exception being handled; call only inside a catch block.
  void HandleException();

  // Called by ~TForm.
  void FormDestroyed(TForm* Form);

  int ParamCount() const;
  AnsiString ParamStr(int Index) const;

 private:
  std::unique_ptr<QApplication> FQApplication;
  int FQtArgc = 1;
  std::vector<std::string> FArguments;
  std::vector<char*> FQtArgv;
  bool FMainFormOnTaskBar = false;
  AnsiString FTitle;
  TForm* FMainForm = nullptr;
  bool FTerminated = false;
  TApplication* FPrevious;
};

extern TApplication* Application;

// The application's title, or the default title when there is no application object.
AnsiString ApplicationTitle();
// The command line kept by Initialize: the number of parameters after the program name, and
// parameter Index (0 is the program) in Windows-1252, empty when out of range.
int ParamCount();
AnsiString ParamStr(int Index);

// The dialogs of database opening, shown with the toolkit: TPasswordDialog ("Database
// authentication": a name label, "Password:", a password edit showing '*', "OK" and "Cancel")
// and TToolkitDatabaseDialogs, which answers the engine's questions with it and with message
// boxes. The application installs one TToolkitDatabaseDialogs for its life
// (InstallDatabaseDialogs), so that every database component of the process asks through it.
//
// Ownership: the dialog owns its controls. Errors: none raised here.
#pragma once

#include "engine/tables/ZEVDatabaseComponent.h"
#include "shell/Button.h"
#include "shell/Edit.h"
#include "shell/Form.h"
#include "shell/Label.h"

class TPasswordDialog : public TForm {
 public:
  explicit TPasswordDialog(TComponent* Owner);

  TLabel* lblName;
  TLabel* lblPassword;
  TEdit* edtPassword;
  TButton* btnOK;
  TButton* btnCancel;
};

class TToolkitDatabaseDialogs : public TABSDatabaseDialogs {
 public:
  bool AskPassword(AnsiString& Password) override;
  bool AskYesNo(const AnsiString& Question) override;
  void ShowInformation(const AnsiString& Text) override;
  void ShowWarning(const AnsiString& Text) override;
};

// Installs the toolkit's dialogs for the rest of the process.
void InstallDatabaseDialogs();

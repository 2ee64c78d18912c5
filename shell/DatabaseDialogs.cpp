#include "shell/DatabaseDialogs.h"

#include "shell/MessageBoxes.h"

TPasswordDialog::TPasswordDialog(TComponent* Owner) : TForm(Owner) {
  SetCaption("Database authentication");
  SetPosition(poScreenCenter);
  SetBorderIcons({biSystemMenu});
  SetClientSize(240, 108);
  lblName = MakeOwnedComponent<TLabel>(this);
  lblName->SetAutoSize(false);
  lblName->SetAlignment(taCenter);
  lblName->SetBounds(8, 8, 224, 16);
  lblPassword = MakeOwnedComponent<TLabel>(this);
  lblPassword->SetCaption("Password:");
  lblPassword->SetBounds(8, 34, 70, 16);
  edtPassword = MakeOwnedComponent<TEdit>(this);
  edtPassword->SetPasswordChar('*');
  edtPassword->SetBounds(80, 30, 152, 21);
  btnOK = MakeOwnedComponent<TButton>(this);
  btnOK->SetCaption("OK");
  btnOK->SetDefault(true);
  btnOK->SetModalResult(mrOk);
  btnOK->SetBounds(40, 72, 75, 25);
  btnCancel = MakeOwnedComponent<TButton>(this);
  btnCancel->SetCaption("Cancel");
  btnCancel->SetCancel(true);
  btnCancel->SetModalResult(mrCancel);
  btnCancel->SetBounds(125, 72, 75, 25);
}

bool TToolkitDatabaseDialogs::AskPassword(AnsiString& Password) {
  TPasswordDialog dialog(nullptr);
  if (dialog.ShowModal() != mrOk) return false;
  Password = dialog.edtPassword->GetText();
  return true;
}

bool TToolkitDatabaseDialogs::AskYesNo(const AnsiString& Question) {
  return MessageDlg(Question, mtConfirmation, TMsgDlgButtons{mbYes, mbNo}, 0) == mrYes;
}

void TToolkitDatabaseDialogs::ShowInformation(const AnsiString& Text) {
  MessageDlg(Text, mtInformation, TMsgDlgButtons{mbOK}, 0);
}

void TToolkitDatabaseDialogs::ShowWarning(const AnsiString& Text) {
  MessageDlg(Text, mtWarning, TMsgDlgButtons{mbOK}, 0);
}

void InstallDatabaseDialogs() {
  static TToolkitDatabaseDialogs dialogs;
  SetDatabaseDialogs(&dialogs);
}

// What the two creation dialogs of the configuration window share: their window settings and
// the check of a required field. Nothing is owned here.
#pragma once

#include "shell/Edit.h"
#include "shell/Form.h"
#include "shell/MessageBoxes.h"

// Fixed size, only a close box, centred on the window that opens it, Tahoma 8 points.
inline void SetUpAddDialog(TForm& Dialog, const AnsiString& Caption, int Width, int Height) {
  Dialog.SetCaption(Caption);
  Dialog.SetClientSize(Width, Height);
  Dialog.SetBorderIcons({biSystemMenu});
  Dialog.SetPosition(poOwnerFormCenter);
  Dialog.SetFont("Tahoma", 8);
}

// True when the field holds any text (blanks count); otherwise shows Message ("Attention",
// warning icon, OK) and answers false.
inline bool CheckFilled(const TEdit* Field, const char* Message) {
  if (!Field->GetText().empty()) return true;
  MessageBoxA(nullptr, Message, "Attention", MB_ICONWARNING);
  return false;
}

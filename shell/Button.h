// TButton and TBitBtn: push buttons; TBitBtn adds a small image left of the caption.
//
// A click (mouse, Space, Return on the focused button, or Return/Escape in the form for the
// Default/Cancel button) runs Click(): the button's ModalResult, when not mrNone, becomes the
// form's ModalResult (which closes a modal form after the handler), then OnClick runs.
// Ownership: the widget, as for every control. Errors: OnClick exceptions from a user click go
// to the exception display; from Click() called by the program, to the caller.
#pragma once

#include <functional>

#include "shell/Control.h"

class QPushButton;

class TButton : public TWinControl {
 public:
  explicit TButton(TComponent* Owner);

  AnsiString GetCaption() const;
  void SetCaption(const AnsiString& Caption);
  // Return anywhere in the form (except on another button) clicks the default button.
  bool GetDefault() const { return FDefault; }
  void SetDefault(bool Default);
  // Escape anywhere in the form clicks the cancel button.
  bool GetCancel() const { return FCancel; }
  void SetCancel(bool Cancel) { FCancel = Cancel; }
  TModalResult GetModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult Result) { FModalResult = Result; }

  void Click();

  std::function<void()> OnClick;

 protected:
  QPushButton* Button() const;

 private:
  bool FDefault = false;
  bool FCancel = false;
  TModalResult FModalResult = mrNone;
};

// The images a TBitBtn can show, drawn by the program (no image files).
enum TBitBtnGlyph {
  bgNone,
  bgAdd,        // green plus
  bgModify,     // pencil
  bgDelete,     // red cross
  bgDeleteAll,  // two red crosses
  bgValidate,   // green check mark
  bgCancel,     // red circle with a bar
  bgClose,      // door arrow
  bgSave,       // floppy disk
  bgSelect,     // check mark on a list
};

class TBitBtn : public TButton {
 public:
  explicit TBitBtn(TComponent* Owner);

  TBitBtnGlyph GetGlyph() const { return FGlyph; }
  void SetGlyph(TBitBtnGlyph Glyph);

 private:
  TBitBtnGlyph FGlyph = bgNone;
};

// TForm: a fixed-size top-level window with a caption and a client area for controls.
//
// A form is shown as the application's main window (TApplication::Run), as a plain window
// (Show) or modally (ShowModal returns once the window has closed, with its ModalResult). The
// client size is fixed: the user cannot resize the window. The font is Tahoma 8 points, or the
// nearest face the system has. Every way of closing (Close, a ModalResult set while modal, the
// title bar's close box, the window manager) goes through OnClose, which may refuse with
// caNone; closing hides the window, and closing the main window ends TApplication::Run.
// OnActivate fires each time the window becomes the active window.
//
// Ownership: the form owns its widget and, as a TComponent, the controls created with it as
// owner. The owner of a form (another form, the application) only decides where it is centred
// for poOwnerFormCenter and when it is destroyed; it is never the form's Qt parent.
// Errors: handler exceptions raised while Qt dispatches an event (activation, close box, keys)
// go to the application's exception display; those raised under Close() reach its caller.
#pragma once

#include <functional>
#include <memory>

#include "shell/Control.h"

class QEventLoop;
class TButton;

enum TPosition { poDesigned, poScreenCenter, poMainFormCenter, poOwnerFormCenter };
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize };
using TBorderIcons = TSet<TBorderIcon>;
enum TCloseAction { caNone, caHide };

class TForm : public TWinControl {
 public:
  explicit TForm(TComponent* Owner);
  ~TForm() override;

  AnsiString GetCaption() const;
  void SetCaption(const AnsiString& Caption);

  // The client area's size; the window keeps it (SetBounds sets the position and this size).
  void SetClientSize(int Width, int Height);
  int GetClientWidth() const { return GetWidth(); }
  int GetClientHeight() const { return GetHeight(); }
  void SetClientWidth(int Width) { SetClientSize(Width, GetClientHeight()); }
  void SetClientHeight(int Height) { SetClientSize(GetClientWidth(), Height); }
  void SetBounds(int Left, int Top, int Width, int Height) override;

  // Title-bar buttons: {biSystemMenu} gives the close box only, {} no button at all.
  TBorderIcons GetBorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(TBorderIcons Icons);
  // Where the window appears each time it is shown.
  TPosition GetPosition() const { return FPosition; }
  void SetPosition(TPosition Position) { FPosition = Position; }

  // With KeyPreview the form's OnKeyDown and OnKeyPress see each key before the focused
  // control (see TWinControl).
  bool GetKeyPreview() const { return FKeyPreview; }
  void SetKeyPreview(bool KeyPreview) { FKeyPreview = KeyPreview; }

  void SetVisible(bool Visible) override;
  void Show();
  void Hide() { SetVisible(false); }
  // Shows the window modally and returns after it has closed, with ModalResult (mrCancel when
  // it was closed without one).
  TModalResult ShowModal();
  bool IsModal() const { return FModalLoop != nullptr; }
  // While modal, a result other than mrNone closes the window once the current event handler
  // has returned (a handler may still set it back to mrNone).
  TModalResult GetModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult Result);
  void Close();
  bool GetActive() const;

  std::function<void()> OnActivate;
  std::function<void()> OnDeactivate;
  std::function<void(TCloseAction& Action)> OnClose;

  // Re-chains the keyboard focus order of all controls of the form (done on showing and when
  // a tab order changes).
  void UpdateTabChain();

 private:
  class TFormWindow;
  friend class TFormWindow;
  friend class TWinControl;

  void PlaceOnScreen();
  void ApplyWindowFlags(bool Dialog);
  // Return and Escape: the default or cancel button; true when one was clicked.
  bool HandleDialogKey(WORD Key, TWinControl* Focused);
  TButton* FindButton(bool Default) const;
  void WindowHidden();

  TBorderIcons FBorderIcons{biSystemMenu, biMinimize, biMaximize};
  TPosition FPosition = poDesigned;
  bool FKeyPreview = false;
  TModalResult FModalResult = mrNone;
  QEventLoop* FModalLoop = nullptr;  // the loop of ShowModal while it runs
};

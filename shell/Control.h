// TControl and TWinControl: the common base of every visual control of the toolkit.
//
// A TControl wraps one Qt widget, which it owns: the widget is deleted with the control (Qt's
// parent ownership only takes over if the parent widget goes first, which the owner order of
// TComponent avoids). Geometry is (left, top, width, height) in pixels in the client area of the
// parent: the form, or a group box (relative to its top-left corner). A control created with an
// owner that is a windowed control (a form, a group box) is placed on it; SetParent moves it.
//
// TWinControl adds what focusable controls and containers share: the list of child controls
// (links; ownership stays with the owner), tab stop and tab order, keyboard focus, and the key
// events. Keys reach a control this way: the form's OnKeyDown when its KeyPreview is set, the
// control's OnKeyDown, Return/Escape to the form's default/cancel button, then for a key that
// types a character the form's OnKeyPress (KeyPreview), the control's OnKeyPress, and finally
// the control itself. Setting Key to 0 in any handler swallows the key for everyone after it;
// changing the character in OnKeyPress passes the new character on.
// Errors: none raised here; handler exceptions from key events go to the exception display.
#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/tables/Component.h"
#include "shell/ToolkitTypes.h"

class QKeyEvent;

// The dynamic property that marks the top-level widget of a form.
inline constexpr const char* kFormWidgetProperty = "gdFormWindow";
class TWinControl;
class TForm;

class TControl : public TComponent {
 public:
  ~TControl() override;

  TWinControl* GetParent() const { return FParent; }
  virtual void SetParent(TWinControl* Parent);
  // The form the control is on (the form itself for a form), or nullptr.
  TForm* GetParentForm() const;

  virtual void SetBounds(int Left, int Top, int Width, int Height);
  int GetLeft() const;
  int GetTop() const;
  int GetWidth() const;
  int GetHeight() const;
  void SetLeft(int Left) { SetBounds(Left, GetTop(), GetWidth(), GetHeight()); }
  void SetTop(int Top) { SetBounds(GetLeft(), Top, GetWidth(), GetHeight()); }
  void SetWidth(int Width) { SetBounds(GetLeft(), GetTop(), Width, GetHeight()); }
  void SetHeight(int Height) { SetBounds(GetLeft(), GetTop(), GetWidth(), Height); }

  bool GetVisible() const { return FVisible; }
  virtual void SetVisible(bool Visible);
  bool GetEnabled() const;
  void SetEnabled(bool Enabled);

  // Font: a family (with the fallbacks the system offers) and a size in points; bold on its
  // own. Unset parts follow the parent.
  void SetFont(const AnsiString& Name, int PointSize);
  AnsiString GetFontName() const;
  int GetFontSize() const;
  void SetFontBold(bool Bold);
  bool GetFontBold() const;
  // Background colour; clDefault leaves it to the visual style.
  void SetColor(TColor Color);
  TColor GetColor() const { return FColor; }

  // The wrapped widget, for tests and for the rare need the toolkit does not cover.
  QWidget* Widget() const { return FWidget; }

 protected:
  // Takes ownership of Widget.
  TControl(TComponent* Owner, QWidget* Widget);
  // A named part of the widget's own style sheet (a whole rule, selector included); an empty
  // Rule removes the part.
  void SetStyleRule(const std::string& Key, const std::string& Rule);
  // Called after the font changed (labels resize to their text).
  virtual void FontChanged() {}

 private:
  QPointer<QWidget> FWidget;
  TWinControl* FParent = nullptr;
  bool FVisible = true;
  TColor FColor = clDefault;
  std::map<std::string, std::string> FStyleRules;
};

class TWinControl : public TControl {
 public:
  ~TWinControl() override;

  bool GetTabStop() const { return FTabStop; }
  void SetTabStop(bool TabStop);
  // Position among the parent's children in the tab order (initially the order in which they
  // were placed on the parent).
  int GetTabOrder() const;
  void SetTabOrder(int TabOrder);

  void SetFocus();
  bool Focused() const;

  int GetControlCount() const { return static_cast<int>(FControls.size()); }
  TControl* GetControl(int Index) const { return FControls.at(Index); }

  std::function<void(WORD& Key, TShiftState Shift)> OnKeyDown;
  std::function<void(char& Key)> OnKeyPress;

 protected:
  // Focusable: whether the control can take the keyboard focus at all (group boxes cannot).
  TWinControl(TComponent* Owner, QWidget* Widget, bool Focusable);
  // The widget that holds the children (the control's own widget).
  virtual QWidget* ClientWidget() const { return Widget(); }
  // Runs the key pipeline for an event delivered to this control; true when it was consumed.
  // Otherwise Typed is the character to pass on to the widget (0 when the key types none).
  bool DispatchKeyPress(QKeyEvent* Event, char& Typed);

 private:
  friend class TControl;
  friend class TForm;
  class TKeyFilter;

  void InsertControl(TControl* Control);
  void RemoveControl(TControl* Control);
  // Appends the focusable widgets of this container, depth first in tab order.
  void CollectTabChain(std::vector<QWidget*>& Chain) const;
  void UpdateFocusPolicy();

  std::vector<TControl*> FControls;
  bool FFocusable;
  bool FTabStop;
  std::unique_ptr<TKeyFilter> FKeyFilter;
};

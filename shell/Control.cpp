#include "shell/Control.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <algorithm>
#include <cstdio>

#include "shell/EventDispatch.h"
#include "shell/Form.h"
#include "shell/KeyTranslation.h"
#include "shell/QtText.h"

namespace {

// The form's font when it asks for a family the system lacks: narrow sans-serif faces first,
// since the windows' fixed geometry was laid out for a narrow one.
const QStringList kFallbackFamilies = {"DejaVu Sans Condensed", "Liberation Sans Narrow",
                                       "Liberation Sans", "DejaVu Sans"};

// Forms' widgets carry this property. Qt alone cannot tell them apart: every widget that has no
// parent yet counts as a window for it, a control's widget before it is placed included.
bool isFormWidget(const QWidget* Widget) { return Widget->property(kFormWidgetProperty).toBool(); }

std::string cssColor(TColor Color) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "#%02x%02x%02x", Color & 0xFF, (Color >> 8) & 0xFF,
                (Color >> 16) & 0xFF);
  return buf;
}

}  // namespace

// --- TControl ---------------------------------------------------------------------------------

TControl::TControl(TComponent* Owner, QWidget* Widget) : TComponent(Owner), FWidget(Widget) {
  // Until it has a parent the widget must not become a window of its own.
  if (auto* container = dynamic_cast<TWinControl*>(Owner); container && !isFormWidget(Widget))
    SetParent(container);
}

TControl::~TControl() {
  if (FParent) FParent->RemoveControl(this);
  delete FWidget.data();
}

void TControl::SetParent(TWinControl* Parent) {
  if (Parent == FParent || isFormWidget(FWidget)) return;
  if (FParent) FParent->RemoveControl(this);
  FParent = Parent;
  if (FParent) {
    FParent->InsertControl(this);
    FWidget->setParent(FParent->ClientWidget());
    FWidget->setVisible(FVisible);
  } else {
    FWidget->hide();
    FWidget->setParent(nullptr);
  }
}

TForm* TControl::GetParentForm() const {
  const TControl* c = this;
  while (c->FParent) c = c->FParent;
  return dynamic_cast<TForm*>(const_cast<TControl*>(c));
}

void TControl::SetBounds(int Left, int Top, int Width, int Height) {
  FWidget->setGeometry(Left, Top, std::max(Width, 0), std::max(Height, 0));
}

int TControl::GetLeft() const { return FWidget->x(); }
int TControl::GetTop() const { return FWidget->y(); }
int TControl::GetWidth() const { return FWidget->width(); }
int TControl::GetHeight() const { return FWidget->height(); }

void TControl::SetVisible(bool Visible) {
  FVisible = Visible;
  if (FParent) FWidget->setVisible(Visible);
}

bool TControl::GetEnabled() const { return !FWidget->testAttribute(Qt::WA_ForceDisabled); }
void TControl::SetEnabled(bool Enabled) { FWidget->setEnabled(Enabled); }

void TControl::SetFont(const AnsiString& Name, int PointSize) {
  QFont f = FWidget->font();
  QFont local;
  if (f.resolveMask() & QFont::WeightResolved) local.setBold(f.bold());
  QStringList families = {ToQString(Name)};
  families.append(kFallbackFamilies);
  local.setFamilies(families);
  local.setPointSize(std::max(PointSize, 1));
  FWidget->setFont(local);
  FontChanged();
}

AnsiString TControl::GetFontName() const { return FromQString(FWidget->font().family()); }
int TControl::GetFontSize() const { return FWidget->font().pointSize(); }

void TControl::SetFontBold(bool Bold) {
  QFont current = FWidget->font();
  QFont local;
  if (current.resolveMask() & QFont::FamiliesResolved) local.setFamilies(current.families());
  if (current.resolveMask() & QFont::SizeResolved) local.setPointSizeF(current.pointSizeF());
  local.setBold(Bold);
  FWidget->setFont(local);
  FontChanged();
}

bool TControl::GetFontBold() const { return FWidget->font().bold(); }

void TControl::SetColor(TColor Color) {
  FColor = Color;
  std::string cls = FWidget->metaObject()->className();
  SetStyleRule("color", Color == clDefault ? std::string()
                                           : cls + " { background-color: " + cssColor(Color) + "; }");
}

void TControl::SetStyleRule(const std::string& Key, const std::string& Rule) {
  if (Rule.empty())
    FStyleRules.erase(Key);
  else
    FStyleRules[Key] = Rule;
  std::string sheet;
  for (auto& [k, r] : FStyleRules) sheet += r + "\n";
  FWidget->setStyleSheet(QString::fromStdString(sheet));
}

// --- TWinControl ------------------------------------------------------------------------------

// Sends the key presses delivered to a control's widget through the control's key pipeline.
class TWinControl::TKeyFilter : public QObject {
 public:
  explicit TKeyFilter(TWinControl* Control) : FControl(Control) {}

  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() != QEvent::KeyPress || FResending || Watched != FControl->Widget())
      return false;
    if (auto* form = dynamic_cast<TForm*>(FControl)) {
      // Keys reach the form's own widget also when a child let them pass; the child's pipeline
      // has then run already.
      QWidget* focus = form->Widget()->focusWidget();
      if (focus && focus != form->Widget()) return false;
    }
    auto* key = static_cast<QKeyEvent*>(Event);
    bool consumed = true;
    FireEvent([&] { consumed = Dispatch(key); });
    return consumed;
  }

 private:
  bool Dispatch(QKeyEvent* Key) {
    char original = 0, passed = 0;
    bool typed = TypedCharFromKeyEvent(*Key, original);
    if (FControl->DispatchKeyPress(Key, passed)) return true;
    if (!typed || passed == original) return false;
    // A handler changed the character: the control gets the new one instead.
    QKeyEvent changed(QEvent::KeyPress, Key->key(), Key->modifiers(), QString(ToQChar(passed)),
                      Key->isAutoRepeat(), Key->count());
    FResending = true;
    QCoreApplication::sendEvent(FControl->Widget(), &changed);
    FResending = false;
    return true;
  }

  TWinControl* FControl;
  bool FResending = false;
};

TWinControl::TWinControl(TComponent* Owner, QWidget* Widget, bool Focusable)
    : TControl(Owner, Widget), FFocusable(Focusable), FTabStop(Focusable) {
  UpdateFocusPolicy();
  if (Focusable || isFormWidget(Widget)) {
    FKeyFilter = std::make_unique<TKeyFilter>(this);
    Widget->installEventFilter(FKeyFilter.get());
  }
}

TWinControl::~TWinControl() {
  // Owned children go while this widget still holds theirs; children owned by someone else are
  // let go.
  DestroyComponents();
  for (TControl* c : std::vector<TControl*>(FControls)) c->SetParent(nullptr);
  FKeyFilter.reset();
}

void TWinControl::SetTabStop(bool TabStop) {
  FTabStop = TabStop;
  UpdateFocusPolicy();
}

void TWinControl::UpdateFocusPolicy() {
  if (isFormWidget(Widget())) return;
  Widget()->setFocusPolicy(!FFocusable ? Qt::NoFocus
                                       : (FTabStop ? Qt::StrongFocus : Qt::ClickFocus));
}

int TWinControl::GetTabOrder() const {
  if (!GetParent()) return -1;
  auto& list = GetParent()->FControls;
  return static_cast<int>(std::find(list.begin(), list.end(), this) - list.begin());
}

void TWinControl::SetTabOrder(int TabOrder) {
  TWinControl* parent = GetParent();
  if (!parent) return;
  auto& list = parent->FControls;
  list.erase(std::find(list.begin(), list.end(), this));
  TabOrder = std::clamp(TabOrder, 0, static_cast<int>(list.size()));
  list.insert(list.begin() + TabOrder, this);
  if (TForm* form = GetParentForm()) form->UpdateTabChain();
}

void TWinControl::SetFocus() { Widget()->setFocus(Qt::OtherFocusReason); }
bool TWinControl::Focused() const { return Widget()->hasFocus(); }

void TWinControl::InsertControl(TControl* Control) { FControls.push_back(Control); }

void TWinControl::RemoveControl(TControl* Control) {
  FControls.erase(std::remove(FControls.begin(), FControls.end(), Control), FControls.end());
}

void TWinControl::CollectTabChain(std::vector<QWidget*>& Chain) const {
  for (TControl* c : FControls) {
    auto* w = dynamic_cast<TWinControl*>(c);
    if (!w) continue;
    if (w->FFocusable) Chain.push_back(w->Widget());
    w->CollectTabChain(Chain);
  }
}

bool TWinControl::DispatchKeyPress(QKeyEvent* Event, char& Typed) {
  Typed = 0;
  TForm* form = GetParentForm();
  bool preview = form && form != this && form->GetKeyPreview();
  WORD key = VirtualKeyFromQt(Event->key(), Event->modifiers());
  TShiftState shift = ShiftStateFromQt(Event->modifiers());
  if (key != 0) {
    if (preview && form->OnKeyDown) {
      form->OnKeyDown(key, shift);
      if (key == 0) return true;
    }
    if (OnKeyDown) {
      OnKeyDown(key, shift);
      if (key == 0) return true;
    }
    if (form && (key == VK_RETURN || key == VK_ESCAPE) && form->HandleDialogKey(key, this))
      return true;
  }
  char ch = 0;
  if (!TypedCharFromKeyEvent(*Event, ch)) return false;
  if (preview && form->OnKeyPress) {
    form->OnKeyPress(ch);
    if (ch == 0) return true;
  }
  if (OnKeyPress) {
    OnKeyPress(ch);
    if (ch == 0) return true;
  }
  Typed = ch;
  return false;
}

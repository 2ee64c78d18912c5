#include "shell/Form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QHideEvent>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "shell/Application.h"
#include "shell/Button.h"
#include "shell/EventDispatch.h"
#include "shell/QtText.h"

// The form's top-level widget: turns Qt's window events into the form's events.
class TForm::TFormWindow : public QWidget {
 public:
  explicit TFormWindow(TForm* Form) : QWidget(nullptr, Qt::Window), FForm(Form) {
    setAttribute(Qt::WA_QuitOnClose, false);
    setProperty(kFormWidgetProperty, true);
  }

 protected:
  bool event(QEvent* Event) override {
    if (Event->type() == QEvent::WindowActivate)
      FireEvent([this] {
        if (FForm->OnActivate) FForm->OnActivate();
      });
    else if (Event->type() == QEvent::WindowDeactivate)
      FireEvent([this] {
        if (FForm->OnDeactivate) FForm->OnDeactivate();
      });
    return QWidget::event(Event);
  }

  // The close box and the window manager: the form decides, and hides itself when it agrees.
  void closeEvent(QCloseEvent* Event) override {
    Event->ignore();
    FireEvent([this] { FForm->Close(); });
  }

  void hideEvent(QHideEvent* Event) override {
    QWidget::hideEvent(Event);
    if (!Event->spontaneous()) FForm->WindowHidden();
  }

 private:
  TForm* FForm;
};

TForm::TForm(TComponent* Owner) : TWinControl(Owner, new TFormWindow(this), false) {
  TControl::SetVisible(false);
  ApplyWindowFlags(false);
  SetFont("Tahoma", 8);
}

TForm::~TForm() {
  if (Application) Application->FormDestroyed(this);
}

AnsiString TForm::GetCaption() const { return FromQString(Widget()->windowTitle()); }
void TForm::SetCaption(const AnsiString& Caption) { Widget()->setWindowTitle(ToQString(Caption)); }

void TForm::SetClientSize(int Width, int Height) {
  Widget()->setFixedSize(std::max(Width, 1), std::max(Height, 1));
}

void TForm::SetBounds(int Left, int Top, int Width, int Height) {
  Widget()->move(Left, Top);
  SetClientSize(Width, Height);
}

void TForm::SetBorderIcons(TBorderIcons Icons) {
  FBorderIcons = Icons;
  ApplyWindowFlags(IsModal());
}

void TForm::ApplyWindowFlags(bool Dialog) {
  Qt::WindowFlags flags = (Dialog ? Qt::Dialog : Qt::Window) | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint;
  if (FBorderIcons.Contains(biSystemMenu)) {
    flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (FBorderIcons.Contains(biMinimize)) flags |= Qt::WindowMinimizeButtonHint;
  }
  if (Widget()->windowFlags() == flags) return;
  bool visible = Widget()->isVisible();
  Widget()->setWindowFlags(flags);
  if (visible) Widget()->show();
}

void TForm::SetVisible(bool Visible) {
  if (Visible) {
    Show();
    return;
  }
  TControl::SetVisible(false);
  Widget()->hide();
}

void TForm::Show() {
  UpdateTabChain();
  if (!Widget()->isVisible()) PlaceOnScreen();
  TControl::SetVisible(true);
  Widget()->show();
  Widget()->raise();
  Widget()->activateWindow();
}

void TForm::PlaceOnScreen() {
  TForm* reference = nullptr;
  switch (FPosition) {
    case poDesigned:
      return;
    case poScreenCenter:
      break;
    case poOwnerFormCenter:
      reference = dynamic_cast<TForm*>(GetOwner());
      if (!reference && Application) reference = Application->GetMainForm();
      break;
    case poMainFormCenter:
      if (Application) reference = Application->GetMainForm();
      break;
  }
  QRect area;
  if (reference && reference != this && reference->Widget()->isVisible()) {
    area = reference->Widget()->frameGeometry();
  } else {
    QScreen* screen = Widget()->screen() ? Widget()->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    area = screen->availableGeometry();
  }
  QSize size = Widget()->size();
  Widget()->move(area.center().x() - size.width() / 2, area.center().y() - size.height() / 2);
}

TModalResult TForm::ShowModal() {
  FModalResult = mrNone;
  if (Widget()->isVisible()) Widget()->hide();
  QEventLoop loop;
  FModalLoop = &loop;
  ApplyWindowFlags(true);
  Widget()->setWindowModality(Qt::ApplicationModal);
  // Keeps the window manager from putting the dialog behind the window it was opened from.
  QWidget* opener = QApplication::activeWindow();
  if ((!opener || opener == Widget()) && Application && Application->GetMainForm())
    opener = Application->GetMainForm()->Widget();
  if (opener && opener != Widget() && opener->windowHandle()) {
    Widget()->winId();
    if (Widget()->windowHandle()) Widget()->windowHandle()->setTransientParent(opener->windowHandle());
  }
  struct TRestore {
    TForm* Form;
    ~TRestore() {
      Form->FModalLoop = nullptr;
      if (Form->Widget()->isVisible()) {
        Form->TControl::SetVisible(false);
        Form->Widget()->hide();
      }
      Form->Widget()->setWindowModality(Qt::NonModal);
      Form->ApplyWindowFlags(false);
    }
  } restore{this};
  Show();
  if (Widget()->isVisible()) loop.exec(QEventLoop::DialogExec);
  return FModalResult == mrNone ? mrCancel : FModalResult;
}

void TForm::SetModalResult(TModalResult Result) {
  FModalResult = Result;
  if (!IsModal() || Result == mrNone) return;
  QTimer::singleShot(0, Widget(), [this] {
    if (IsModal() && FModalResult != mrNone && GetVisible()) FireEvent([this] { Close(); });
  });
}

void TForm::Close() {
  TCloseAction action = caHide;
  if (OnClose) OnClose(action);
  if (action == caNone) {
    if (IsModal()) FModalResult = mrNone;
    return;
  }
  if (IsModal() && FModalResult == mrNone) FModalResult = mrCancel;
  SetVisible(false);
  if (Application && Application->GetMainForm() == this) Application->Terminate();
}

bool TForm::GetActive() const { return Widget()->isActiveWindow(); }

void TForm::WindowHidden() {
  if (FModalLoop) FModalLoop->quit();
}

void TForm::UpdateTabChain() {
  std::vector<QWidget*> chain;
  CollectTabChain(chain);
  for (size_t i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);
}

bool TForm::HandleDialogKey(WORD Key, TWinControl* Focused) {
  if (Key == VK_RETURN && dynamic_cast<TButton*>(Focused)) return false;  // it clicks itself
  TButton* button = FindButton(Key == VK_RETURN);
  if (!button || (Key != VK_RETURN && Key != VK_ESCAPE)) return false;
  button->Click();
  return true;
}

TButton* TForm::FindButton(bool Default) const {
  std::vector<const TWinControl*> pending{this};
  while (!pending.empty()) {
    const TWinControl* container = pending.back();
    pending.pop_back();
    for (int i = 0; i < container->GetControlCount(); ++i) {
      TControl* c = container->GetControl(i);
      if (auto* b = dynamic_cast<TButton*>(c)) {
        bool wanted = Default ? b->GetDefault() : b->GetCancel();
        if (wanted && b->Widget()->isVisibleTo(Widget()) && b->Widget()->isEnabledTo(Widget()))
          return b;
      } else if (auto* w = dynamic_cast<TWinControl*>(c)) {
        pending.push_back(w);
      }
    }
  }
  return nullptr;
}

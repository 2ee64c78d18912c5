#include "shell/ComboBox.h"

#include <QComboBox>

#include "shell/EventDispatch.h"
#include "shell/QtText.h"

// The entries, kept in the Qt widget itself.
class TComboBox::TComboBoxStrings : public TStrings {
 public:
  explicit TComboBoxStrings(QComboBox* Combo) : FCombo(Combo) {}

  int GetCount() const override { return FCombo->count(); }
  AnsiString Get(int Index) const override {
    CheckIndex(Index, GetCount());
    return FromQString(FCombo->itemText(Index));
  }
  void Put(int Index, const AnsiString& S) override {
    CheckIndex(Index, GetCount());
    FCombo->setItemText(Index, ToQString(S));
  }
  void Insert(int Index, const AnsiString& S) override {
    CheckIndex(Index, GetCount() + 1);
    // Qt chooses the first entry of an empty list by itself; the toolkit's list chooses none.
    int chosen = FCombo->currentIndex();
    FCombo->insertItem(Index, ToQString(S));
    if (chosen < 0) FCombo->setCurrentIndex(-1);
  }
  void Delete(int Index) override {
    CheckIndex(Index, GetCount());
    bool chosen = FCombo->currentIndex() == Index;
    FCombo->removeItem(Index);
    if (chosen) FCombo->setCurrentIndex(-1);
  }
  void Clear() override { FCombo->clear(); }

 private:
  QComboBox* FCombo;
};

TComboBox::TComboBox(TComponent* Owner)
    : TWinControl(Owner, new QComboBox(), true),
      FItems(std::make_unique<TComboBoxStrings>(ComboBox())) {
  ComboBox()->setEditable(false);
  QObject::connect(ComboBox(), &QComboBox::activated, ComboBox(), [this] {
    if (OnChange) FireEvent([this] { OnChange(); });
  });
}

TComboBox::~TComboBox() = default;

TStrings* TComboBox::Items() const { return FItems.get(); }

QComboBox* TComboBox::ComboBox() const { return static_cast<QComboBox*>(Widget()); }

int TComboBox::GetItemIndex() const { return ComboBox()->currentIndex(); }

void TComboBox::SetItemIndex(int Index) {
  ComboBox()->setCurrentIndex(Index >= 0 && Index < ComboBox()->count() ? Index : -1);
}

AnsiString TComboBox::GetText() const {
  return GetItemIndex() < 0 ? AnsiString() : FromQString(ComboBox()->currentText());
}

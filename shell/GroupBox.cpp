#include "shell/GroupBox.h"

#include <QGroupBox>

#include "shell/QtText.h"

TGroupBox::TGroupBox(TComponent* Owner) : TWinControl(Owner, new QGroupBox(), false) {}

QGroupBox* TGroupBox::GroupBox() const { return static_cast<QGroupBox*>(Widget()); }

AnsiString TGroupBox::GetCaption() const { return FromQString(GroupBox()->title()); }
void TGroupBox::SetCaption(const AnsiString& Caption) { GroupBox()->setTitle(ToQString(Caption)); }

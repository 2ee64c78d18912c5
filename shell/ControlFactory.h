// Small builders for the windows' constructors: a control owned (and placed) by Owner at its
// geometry, a label at its position, a button with its caption and image, a one-line field with
// its length limit, a list column with its width limits (0: none). The owner frees what they make; nothing here raises.
#pragma once

#include "shell/Button.h"
#include "shell/Edit.h"
#include "shell/Label.h"
#include "shell/ListView.h"

template <class T>
T* MakeControl(TComponent* Owner, int Left, int Top, int Width, int Height) {
  T* control = MakeOwnedComponent<T>(Owner);
  control->SetBounds(Left, Top, Width, Height);
  return control;
}

inline TLabel* MakeLabel(TComponent* Owner, const AnsiString& Caption, int Left, int Top) {
  TLabel* label = MakeOwnedComponent<TLabel>(Owner);
  label->SetCaption(Caption);
  label->SetLeft(Left);
  label->SetTop(Top);
  return label;
}

inline TBitBtn* MakeBitBtn(TComponent* Owner, const AnsiString& Caption, TBitBtnGlyph Glyph,
                           int Left, int Top, int Width = 150, int Height = 50) {
  TBitBtn* button = MakeControl<TBitBtn>(Owner, Left, Top, Width, Height);
  button->SetCaption(Caption);
  button->SetGlyph(Glyph);
  return button;
}

inline TEdit* MakeEdit(TComponent* Owner, int Left, int Top, int Width, int MaxLength = 0) {
  TEdit* edit = MakeControl<TEdit>(Owner, Left, Top, Width, 21);
  edit->SetMaxLength(MaxLength);
  return edit;
}

inline TListColumn* AddColumn(TListView* List, const AnsiString& Caption, int Width,
                              TAlignment Alignment = taLeftJustify, int MinWidth = 0,
                              int MaxWidth = 0) {
  TListColumn* column = List->Columns()->Add();
  column->SetCaption(Caption);
  column->SetMinWidth(MinWidth);
  column->SetMaxWidth(MaxWidth);
  column->SetWidth(Width);
  column->SetAlignment(Alignment);
  return column;
}

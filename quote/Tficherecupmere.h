// TFicheRecupMere: the common base of the quote window's two pick-lists. A modal window with a
// search field and a list of reference rows; the user narrows the choice by typing the start of
// a name, sorts by clicking a column header, picks with "Sélectionner" or Enter in the list, and
// leaves without a choice with "Fermer" or Escape. F5 reads the rows again from the database.
//
// Each picker supplies its columns, fills the list (RemplirListe, on an empty list with sorting
// off, ending with FinRemplissage) and keeps its result in step with the selection
// (ItemSelectionne, called for every row that becomes selected or stops being selected). Every
// way of closing other than an accepted selection (ValiderSelection) ends without a result.
//
// Ownership: the window owns its controls; the picker owns its result until the caller takes
// it. Errors: database errors while filling reach the caller of the constructor or of
// Actualiser (from a key, the application's exception display).
#pragma once

#include "engine/storage/ZEVCodePage.h"
#include "shell/Button.h"
#include "shell/Edit.h"
#include "shell/Form.h"
#include "shell/Label.h"
#include "shell/ListView.h"

class TFicheRecupMere : public TForm {
 public:
  explicit TFicheRecupMere(TComponent* Owner);
  ~TFicheRecupMere() override;

  // The picker's operations.
  virtual int ComparerItems(TListItem* Item1, TListItem* Item2);
  // Closes the window, accepted, when a row is selected; nothing otherwise.
  virtual void ValiderSelection();
  virtual void RemplirListe(const AnsiString& Cle) = 0;
  virtual void ItemSelectionne(TListItem* Item, bool Selected) = 0;

  // The event handlers, in the window's names.
  void EditRechercheBisChange();
  void EditRechercheBisKeyPress(char& Key);
  void ListViewColumnClick(int Column);
  int ListViewCompare(TListItem* Item1, TListItem* Item2) { return ComparerItems(Item1, Item2); }
  void ListViewKeyPress(char& Key);
  void ListViewSelectItem(TListItem* Item, bool Selected) { ItemSelectionne(Item, Selected); }
  void ButtonSelectionClick() { ValiderSelection(); }
  void ButtonFermerClick();
  void FormKeyPress(char& Key);
  void FormKeyDown(WORD& Key, TShiftState Shift);
  void FormClose(TCloseAction& Action);
  // The refresh: the rows read again, the same row selected again when it still exists.
  void ButtonActualiserClick();
  void Actualiser() { ButtonActualiserClick(); }

  // Column numbers: 0 is the caption (the identifier), n > 0 is cell n - 1.
  int ColonneTri = 0;
  int ColonneRecherche = 0;
  int ColonneCle = 0;

  TStaticText* StaticTextRecherche;
  TEdit* EditRechercheBis;
  TListView* ListView;
  TBitBtn* ButtonSelectionner;
  TBitBtn* ButtonFermer;

 protected:
  // The end of every RemplirListe: sorting on, and the selected row brought into view.
  void FinRemplissage();
  // The text of a row in a column numbered as above; empty when the row has no such cell.
  static AnsiString TexteColonne(TListItem* Item, int Column);
  // Adds a column to the list; Fixed keeps it at Width.
  TListColumn* AjouterColonne(const char* Caption, int Width, bool Fixed);

 private:
  bool FAccepte = false;  // closed by an accepted selection
};

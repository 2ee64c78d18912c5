// TFicheConfig: the main window of configuration mode. Start-up creates it through the
// application object (which owns it) and hands it the database path before the event loop
// runs. On its first activation it opens the reference database and lists every material and
// company, sorted by name. "Nouvelle matière" and "Nouvelle entreprise" add rows with the
// identifier "-1" through their dialogs; the Delete key takes such a new row out again (stored
// rows cannot be changed or removed here). "Sauvegarder" stores the new rows, materials first,
// in display order, and closes; "Annuler" asks, then closes without storing; the close box
// stores nothing. Closing closes the database.
//
// The saving is all-or-nothing for bad input: every new company's postal code is checked
// before anything is stored. A postal code of digits is stored as typed (01000 stays 01000);
// another text is read as an integer and stored in its decimal form (+1000 becomes 1000), and
// one that is not an integer stops the saving with EConvertError, that row selected, nothing
// stored. A row stored takes its new identifier as caption, so that a saving interrupted by a
// database error stores each row once when it is tried again.
//
// Ownership: the window owns its controls and, while they are open, its dialogs. Errors: the
// conversion error and database errors reach the caller (from a button, the application's
// exception display).
#pragma once

#include <vector>

#include "engine/storage/ZEVCodePage.h"
#include "shell/Button.h"
#include "shell/Form.h"
#include "shell/GroupBox.h"
#include "shell/ListView.h"

class TFicheConfig : public TForm {
 public:
  explicit TFicheConfig(TComponent* Owner);

  void SetCheminBase(const AnsiString& Chemin) { FCheminBase = Chemin; }
  const AnsiString& GetCheminBase() const { return FCheminBase; }

  // The event handlers, in the window's names.
  void FormActivate();
  void FormClose(TCloseAction& Action);
  void ButtonAjouterMatiereClick();
  void ButtonAjouterEntrepriseClick();
  void ButtonSauvegarderClick();
  void ButtonFermerClick();
  int ListViewCompare(TListItem* Item1, TListItem* Item2);
  void ListViewKeyDown(TListView* List, WORD& Key);

  // The postal code as it is stored; EConvertError when the text is not an integer.
  static AnsiString CodePostalAStocker(const AnsiString& Saisi);

  TGroupBox* GroupBoxMatiere;
  TButton* ButtonAjouterMatiere;
  TListView* ListViewMatiere;
  TGroupBox* GroupBoxEntreprise;
  TButton* ButtonAjouterEntreprise;
  TListView* ListViewEntreprise;
  TButton* ButtonSauvegarder;
  TButton* ButtonFermer;

 private:
  void setSorting(bool On);
  // Appends a new row and brings it into view; it then moves to its place by name.
  TListItem* ajouterNouvelleLigne(TListView* List, const std::vector<AnsiString>& Cells);

  AnsiString FCheminBase;
  bool FCharge = false;
};

// Set by start-up in configuration mode; a link, owned by the application object.
extern TFicheConfig* FicheConfig;

// TFicheDevis: the main window of quote mode. Start-up creates it through the application
// object (which owns it) and hands it the database path and the two exchange-file paths before
// the event loop runs. On its first activation it opens the reference database and loads the
// input quote into its two lists and its labour field; "Valider" writes the output file from
// the window, "Annuler" writes it back from the input document; either closes the window, and
// closing closes the database.
//
// The exchange file: "Wej" holding "Lignes" (one "Ligne" per line: IdMatiere, NomMatiere,
// Quantite, IdUnite, NomUnite, Cout), "Entreprises" (one "Entreprise": IdEntreprise, Nom, Rue1,
// Rue2, CodePostal, Ville, Type) and "MainOeuvre" (Montant). Names come from the database when
// the file is written.
//
// "Ajouter" and "Modifier" open the pickers modally (owned by the window while they are open);
// the window turns what they give back into list entries.
//
// Ownership: the window owns its controls and its two XML documents. Errors: the messages of
// the window go through the message boxes; an unreadable input file and errors escaping the
// database opening reach the caller (the application's exception display).
#pragma once

#include "engine/storage/ZEVCodePage.h"
#include "quote/XMLDocument.h"
#include "reference/Tentreprise.h"
#include "reference/Tligne.h"
#include "shell/Button.h"
#include "shell/Form.h"
#include "shell/GroupBox.h"
#include "shell/JvValidateEdit.h"
#include "shell/Label.h"
#include "shell/ListView.h"

class TFicheDevis : public TForm {
 public:
  explicit TFicheDevis(TComponent* Owner);

  void SetCheminBase(const AnsiString& Chemin) { FCheminBase = Chemin; }
  void SetCheminEntree(const AnsiString& Chemin) { FCheminEntree = Chemin; }
  void SetCheminSortie(const AnsiString& Chemin) { FCheminSortie = Chemin; }
  const AnsiString& GetCheminBase() const { return FCheminBase; }
  const AnsiString& GetCheminEntree() const { return FCheminEntree; }
  const AnsiString& GetCheminSortie() const { return FCheminSortie; }

  // The event handlers, in the window's names.
  void FormActivate();
  void FormClose(TCloseAction& Action);
  void ButtonAjouterMatiereClick() { EditerLigne(nullptr); }
  void ButtonModifierMatiereClick();
  void ButtonSupprimerMatiereClick();
  void ButtonSupprimerAllMatiereClick();
  void ButtonAjouterEntrepriseClick();
  void ButtonSupprimerEntrepriseClick();
  void ButtonSupprimerAllEntrepriseClick();
  void JvValidateEditMainOeuvreChange() { CalculerTotal(); }
  void ButtonValiderClick();
  void ButtonAnnulerClick();
  int ListViewCompare(TListItem* Item1, TListItem* Item2);

  void ChargerEntree();
  void CalculerTotal();
  // Opens the material picker on Ligne (a change) or on nothing (a new line), and puts the line
  // it gives back into the list, in place of the selected entry for a change.
  void EditerLigne(const TLigne* Ligne);

  TGroupBox* GroupBoxMatiere;
  TButton* ButtonAjouterMatiere;
  TButton* ButtonModifierMatiere;
  TButton* ButtonSupprimerMatiere;
  TButton* ButtonSupprimerAllMatiere;
  TListView* ListViewMatiereSelected;
  TGroupBox* GroupBoxEntreprise;
  TButton* ButtonAjouterEntreprise;
  TButton* ButtonSupprimerEntreprise;
  TButton* ButtonSupprimerAllEntreprise;
  TListView* ListViewEntrepriseSelected;
  TLabel* StaticTextMo;
  TJvValidateEdit* JvValidateEditMainOeuvre;
  TLabel* LabelEuroMo;
  TLabel* StaticTextTotal;
  TJvValidateEdit* JvValidateEditTotal;
  TLabel* LabelEuroTotal;
  TButton* ButtonValider;
  TButton* ButtonAnnuler;
  TXMLDocument* XMLEntree = nullptr;
  TXMLDocument* XMLSortie = nullptr;

 private:
  // Append an entry to the list (sorting is the caller's business).
  void ajouterLigne(const TMatiere& Matiere, double Quantite, const TUnite& Unite, double Cout);
  void ajouterEntreprise(const TEntreprise& Entreprise);
  void ecrireDepuisFenetre();
  void ecrireDepuisEntree();
  void sauvegarder();
  void setSorting(bool On);

  AnsiString FCheminBase;
  AnsiString FCheminEntree;
  AnsiString FCheminSortie;
  bool FCharge = false;
};

// Set by start-up in quote mode; a link, owned by the application object.
extern TFicheDevis* FicheDevis;

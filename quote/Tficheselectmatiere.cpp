#include "quote/Tficheselectmatiere.h"

#include <string>

#include "reference/Datamodule.h"
#include "reference/Outils.h"
#include "reference/Tunite.h"
#include "shell/ControlFactory.h"
#include "shell/MessageBoxes.h"

namespace {

// The checks of "Sélectionner" (Windows-1252).
constexpr const char* kPasDeMatiere = "Vous devez s\xE9lectionner une mati\xE8re.";
constexpr const char* kPasDeQuantite = "Vous devez renseigner une quantit\xE9 sup\xE9rieure \xE0 0.";
constexpr const char* kPasDUnite = "Vous devez s\xE9lectionner une unit\xE9.";
constexpr const char* kPasDePrix =
    "Vous devez renseigner un prix unitaire sup\xE9rieur \xE0 0.";

TJvValidateEdit* priceField(TComponent* Owner, int Left, int Top, int Width) {
  TJvValidateEdit* field = MakeControl<TJvValidateEdit>(Owner, Left, Top, Width, 21);
  field->SetDisplayFormat(dfFloat);
  field->SetDecimalPlaces(2);
  field->SetThousandsSeparator(true);
  field->SetTabStop(false);
  return field;
}

bool warn(const char* Text) {
  MessageBoxA(nullptr, Text, "Attention", MB_ICONWARNING);
  return false;
}

// Counts a reaction in progress for as long as it lives.
class TReaction {
 public:
  explicit TReaction(int& Count) : FCount(Count) { ++FCount; }
  ~TReaction() { --FCount; }
  TReaction(const TReaction&) = delete;
  TReaction& operator=(const TReaction&) = delete;

 private:
  int& FCount;
};

}  // namespace

TFicheSelectMatiere::TFicheSelectMatiere(TComponent* Owner, const TLigne* Ligne)
    : TFicheRecupMere(Owner) {
  SetCaption("Liste des mati\xE8res disponibles");
  ColonneTri = 1;
  ColonneRecherche = 1;
  ColonneCle = 0;
  SetPosition(poOwnerFormCenter);
  SetClientSize(396, 555);
  ButtonSelectionner->SetTop(500);
  ButtonFermer->SetTop(500);
  ListView->OnDblClick = nullptr;  // a double click only selects
  AjouterColonne("Id", 1, true);
  AjouterColonne("Nom", 260, true);

  LabelQuantite = MakeLabel(this, "Quantit\xE9 :", 8, 450);
  JvValidateEditQuantite = priceField(this, 67, 445, 57);
  LabelUnite = MakeLabel(this, "Unit\xE9 :", 8, 473);
  ComboBoxUnite = MakeControl<TComboBox>(this, 67, 472, 97, 21);
  ComboBoxUnite->SetTabStop(false);
  LabelPrixUnitaire = MakeLabel(this, "Prix unitaire :", 235, 449);
  JvValidateEditPrixUnitaire = priceField(this, 309, 445, 68);
  JvValidateEditPrixUnitaire->SetValue(0);
  LabelPrixTotal = MakeLabel(this, "Prix total :", 211, 476);
  LabelPrixTotal->SetFontBold(true);
  JvValidateEditPrixTotal = priceField(this, 271, 472, 106);
  JvValidateEditPrixTotal->SetFontBold(true);
  // Search field, list, "Fermer", "Sélectionner".
  ButtonFermer->SetTabOrder(ButtonSelectionner->GetTabOrder());

  JvValidateEditQuantite->OnChange = [this] { JvValidateEditQuantiteChange(); };
  JvValidateEditPrixUnitaire->OnChange = [this] { JvValidateEditPrixUnitaireChange(); };
  JvValidateEditPrixTotal->OnChange = [this] { JvValidateEditPrixTotalChange(); };

  if (!Ligne) {
    RemplirListe(AnsiString());
    return;
  }
  RemplirListe(std::to_string(Ligne->GetMatiere().GetId()));
  JvValidateEditQuantite->SetValue(Ligne->GetQuantite());
  JvValidateEditPrixUnitaire->SetValue(Ligne->GetCout());
  ComboBoxUnite->SetItemIndex(ComboBoxUnite->Items()->IndexOf(Ligne->GetUnite().GetNom()));
}

int TFicheSelectMatiere::ComparerItems(TListItem* Item1, TListItem* Item2) {
  return TFicheRecupMere::ComparerItems(Item1, Item2);
}

// --- Filling and selection -----------------------------------------------------------------------

void TFicheSelectMatiere::RemplirListe(const AnsiString& Cle) {
  MatiereChoisie.reset();
  TTablePrivee table("MATIERE");
  for (; !table->Eof(); table->Next()) {
    const TMatiere matiere(table.Get());
    const AnsiString id = std::to_string(matiere.GetId());
    TListItem* item = ListView->Items()->Add();
    item->SetCaption(id);
    item->SubItems()->Add(matiere.GetNom());
    if (id == Cle) item->SetSelected(true);
  }
  table.Liberer();
  remplirUnites();
  FinRemplissage();
}

// The unit list is filled anew on each filling; the chosen unit stays chosen when its name is
// still there.
void TFicheSelectMatiere::remplirUnites() {
  const AnsiString choisie = ComboBoxUnite->GetText();
  TStrings* unites = ComboBoxUnite->Items();
  unites->Clear();
  TTablePrivee table("UNITE");
  for (; !table->Eof(); table->Next()) unites->Add(TUnite(table.Get()).GetNom());
  table.Liberer();
  if (!choisie.empty()) ComboBoxUnite->SetItemIndex(unites->IndexOf(choisie));
}

void TFicheSelectMatiere::ItemSelectionne(TListItem* Item, bool Selected) {
  MatiereChoisie.reset();
  if (Selected) MatiereChoisie = std::make_unique<TMatiere>(StrToInt(Item->GetCaption()));
}

// --- The price fields ----------------------------------------------------------------------------

void TFicheSelectMatiere::calculerTotal() {
  TReaction reaction(FReactionsCoupees);
  JvValidateEditPrixTotal->SetValue(JvValidateEditQuantite->GetValue() *
                                    JvValidateEditPrixUnitaire->GetValue());
}

void TFicheSelectMatiere::JvValidateEditQuantiteChange() {
  if (FReactionsCoupees == 0) calculerTotal();
}

void TFicheSelectMatiere::JvValidateEditPrixUnitaireChange() {
  if (FReactionsCoupees == 0) calculerTotal();
}

void TFicheSelectMatiere::JvValidateEditPrixTotalChange() {
  if (FReactionsCoupees != 0) return;
  TReaction reaction(FReactionsCoupees);
  const double total = JvValidateEditPrixTotal->GetValue();
  const double quantite = JvValidateEditQuantite->GetValue();
  if (quantite != 0) {
    JvValidateEditPrixUnitaire->SetValue(total / quantite);
  } else {
    JvValidateEditQuantite->SetValue(1);
    JvValidateEditPrixUnitaire->SetValue(total);
  }
}

// --- Leaving -------------------------------------------------------------------------------------

void TFicheSelectMatiere::ValiderSelection() {
  const bool valide = (ListView->Selected() || warn(kPasDeMatiere)) &&
                      (JvValidateEditQuantite->GetValue() > 0 || warn(kPasDeQuantite)) &&
                      (ComboBoxUnite->GetItemIndex() >= 0 || warn(kPasDUnite)) &&
                      (JvValidateEditPrixUnitaire->GetValue() > 0 || warn(kPasDePrix));
  if (valide) TFicheRecupMere::ValiderSelection();
}

std::unique_ptr<TLigne> TFicheSelectMatiere::LigneChoisie() {
  const double quantite = JvValidateEditQuantite->GetValue();
  const double prix = JvValidateEditPrixUnitaire->GetValue();
  if (!MatiereChoisie || quantite == 0 || prix == 0 || ComboBoxUnite->GetItemIndex() < 0)
    return nullptr;
  const TUnite unite(ComboBoxUnite->GetText());
  return std::make_unique<TLigne>(*MatiereChoisie, quantite, unite, prix);
}

#include "config/Tficheconfig.h"

#include <string>
#include <vector>

#include "config/Tficheaddentreprise.h"
#include "config/Tficheaddmatiere.h"
#include "reference/Datamodule.h"
#include "reference/Outils.h"
#include "reference/Tentreprise.h"
#include "reference/Tmatiere.h"
#include "shell/AnsiStrings.h"
#include "shell/ControlFactory.h"
#include "shell/MessageBoxes.h"

TFicheConfig* FicheConfig = nullptr;

namespace {

// The caption of a row not stored yet.
const AnsiString kNouvelle = "-1";

constexpr const char* kQuitterSansSauvegarder =
    "Tout le travail effectu\xE9 ne sera pas sauvegard\xE9.\n\n Voulez-vous quitter ?";

// The new rows of a list, in display order.
std::vector<TListItem*> nouvellesLignes(TListView* List) {
  std::vector<TListItem*> rows;
  TListItems* items = List->Items();
  for (int i = 0; i < items->GetCount(); ++i)
    if (items->GetItem(i)->GetCaption() == kNouvelle) rows.push_back(items->GetItem(i));
  return rows;
}

bool chiffresSeulement(const AnsiString& Text) {
  return !Text.empty() && Text.find_first_not_of("0123456789") == AnsiString::npos;
}

}  // namespace

TFicheConfig::TFicheConfig(TComponent* Owner) : TForm(Owner) {
  SetCaption("Configuration de la gestion des d\xE9" "chets");
  SetClientSize(994, 513);
  SetBorderIcons({biSystemMenu});
  SetPosition(poScreenCenter);
  SetFont("Tahoma", 8);

  GroupBoxMatiere = MakeControl<TGroupBox>(this, 16, 8, 217, 433);
  GroupBoxMatiere->SetCaption("Matiere(s)");
  ButtonAjouterMatiere = MakeBitBtn(GroupBoxMatiere, "Nouvelle mati\xE8re", bgAdd, 51, 13);
  ListViewMatiere = MakeControl<TListView>(GroupBoxMatiere, 19, 66, 182, 353);
  AddColumn(ListViewMatiere, "Id", 1, taLeftJustify, 1, 0);
  AddColumn(ListViewMatiere, "Nom", 150);

  GroupBoxEntreprise = MakeControl<TGroupBox>(this, 239, 8, 738, 433);
  GroupBoxEntreprise->SetCaption("Entreprise(s)");
  ButtonAjouterEntreprise = MakeBitBtn(GroupBoxEntreprise, "Nouvelle entreprise", bgAdd, 571, 13);
  ListViewEntreprise = MakeControl<TListView>(GroupBoxEntreprise, 11, 66, 710, 353);
  AddColumn(ListViewEntreprise, "Id_Entreprise", 1, taLeftJustify, 1, 1);
  AddColumn(ListViewEntreprise, "Nom", 150);
  AddColumn(ListViewEntreprise, "Rue 1", 120);
  AddColumn(ListViewEntreprise, "Rue 2", 120);
  AddColumn(ListViewEntreprise, "Code postal", 70);
  AddColumn(ListViewEntreprise, "Ville", 130);
  AddColumn(ListViewEntreprise, "Type", 90);

  ButtonSauvegarder = MakeBitBtn(this, "Sauvegarder", bgSave, 671, 447);
  ButtonFermer = MakeBitBtn(this, "Annuler", bgCancel, 827, 447);

  for (TListView* list : {ListViewMatiere, ListViewEntreprise}) {
    list->SetHideSelection(false);
    list->OnCompare = [this](TListItem* A, TListItem* B) { return ListViewCompare(A, B); };
    list->OnKeyDown = [this, list](WORD& Key, TShiftState) { ListViewKeyDown(list, Key); };
    list->SetSortType(stText);
  }
  ButtonAjouterMatiere->OnClick = [this] { ButtonAjouterMatiereClick(); };
  ButtonAjouterEntreprise->OnClick = [this] { ButtonAjouterEntrepriseClick(); };
  ButtonSauvegarder->OnClick = [this] { ButtonSauvegarderClick(); };
  ButtonFermer->OnClick = [this] { ButtonFermerClick(); };
  OnActivate = [this] { FormActivate(); };
  OnClose = [this](TCloseAction& Action) { FormClose(Action); };
}

// --- Activation, closing, sorting ----------------------------------------------------------------

// The toolkit may report activation again (coming back from another program): the lists are
// filled once.
void TFicheConfig::FormActivate() {
  if (FCharge) return;
  FCharge = true;
  dmKestrevaud->OuvrirBase(FCheminBase);
  setSorting(false);
  TTablePrivee matieres("MATIERE");
  for (; !matieres->Eof(); matieres->Next()) {
    const TMatiere matiere(matieres.Get());
    TListItem* item = ListViewMatiere->Items()->Add();
    item->SetCaption(std::to_string(matiere.GetId()));
    item->SubItems()->Add(matiere.GetNom());
  }
  matieres.Liberer();
  TTablePrivee entreprises("ENTREPRISE");
  for (; !entreprises->Eof(); entreprises->Next()) {
    const TEntreprise e(entreprises.Get());
    TListItem* item = ListViewEntreprise->Items()->Add();
    item->SetCaption(std::to_string(e.GetId()));
    for (const AnsiString& text : e.Textes()) item->SubItems()->Add(text);
  }
  entreprises.Liberer();
  setSorting(true);
}

void TFicheConfig::FormClose(TCloseAction&) { dmKestrevaud->FermerBase(); }

void TFicheConfig::setSorting(bool On) {
  for (TListView* list : {ListViewMatiere, ListViewEntreprise})
    list->SetSortType(On ? stText : stNone);
}

int TFicheConfig::ListViewCompare(TListItem* Item1, TListItem* Item2) {
  auto name = [](TListItem* Item) {
    return Item->SubItems()->GetCount() > 0 ? Item->SubItems()->Strings(0) : AnsiString();
  };
  return AnsiCompareText(name(Item1), name(Item2));
}

// --- New rows ------------------------------------------------------------------------------------

TListItem* TFicheConfig::ajouterNouvelleLigne(TListView* List,
                                             const std::vector<AnsiString>& Cells) {
  List->SetSortType(stNone);
  TListItem* item = List->Items()->Add();
  item->SetCaption(kNouvelle);
  for (const AnsiString& text : Cells) item->SubItems()->Add(text);
  item->SetFocused(true);
  item->MakeVisible(false);
  List->SetSortType(stText);
  return item;
}

void TFicheConfig::ButtonAjouterMatiereClick() {
  TScopedComponent<TFicheAddMatiere> dialog(this);
  dialog->ShowModal();
  const std::unique_ptr<TMatiere> matiere = std::move(dialog->MatiereCreee);
  if (matiere) ajouterNouvelleLigne(ListViewMatiere, {matiere->GetNom()});
}

void TFicheConfig::ButtonAjouterEntrepriseClick() {
  TScopedComponent<TFicheAddEntreprise> dialog(this);
  dialog->ShowModal();
  const std::unique_ptr<TEntreprise> e = std::move(dialog->EntrepriseCreee);
  if (e)
    ajouterNouvelleLigne(ListViewEntreprise, e->Textes());
}

// Delete takes a new row out of its list; stored rows stay.
void TFicheConfig::ListViewKeyDown(TListView* List, WORD& Key) {
  if (Key != VK_DELETE) return;
  TListItem* selected = List->Selected();
  if (!selected || selected->GetCaption() != kNouvelle) return;
  Key = 0;
  selected->Delete();
}

// --- Saving and leaving --------------------------------------------------------------------------

AnsiString TFicheConfig::CodePostalAStocker(const AnsiString& Saisi) {
  if (chiffresSeulement(Saisi)) return Saisi;
  return std::to_string(StrToInt(Saisi));
}

void TFicheConfig::ButtonSauvegarderClick() {
  const std::vector<TListItem*> matieres = nouvellesLignes(ListViewMatiere);
  const std::vector<TListItem*> entreprises = nouvellesLignes(ListViewEntreprise);
  std::vector<AnsiString> codesPostaux;
  for (TListItem* row : entreprises) {
    try {
      codesPostaux.push_back(CodePostalAStocker(row->SubItems()->Strings(3)));
    } catch (const EConvertError&) {
      ListViewEntreprise->SetSelected(row);
      row->MakeVisible(false);
      throw;
    }
  }
  for (TListItem* row : matieres) {
    TMatiere matiere(row->SubItems()->Strings(0));
    matiere.Sauvegarder();
    row->SetCaption(std::to_string(matiere.GetId()));
  }
  for (size_t i = 0; i < entreprises.size(); ++i) {
    TStrings* cells = entreprises[i]->SubItems();
    TEntreprise entreprise;
    entreprise.SetNom(cells->Strings(0));
    entreprise.SetRue1(cells->Strings(1));
    entreprise.SetRue2(cells->Strings(2));
    entreprise.SetCP(codesPostaux[i]);
    entreprise.SetVille(cells->Strings(4));
    entreprise.SetType(cells->Strings(5));
    entreprise.Sauvegarder();
    entreprises[i]->SetCaption(std::to_string(entreprise.GetId()));
  }
  Close();
}

void TFicheConfig::ButtonFermerClick() {
  if (MessageBoxA(nullptr, kQuitterSansSauvegarder, "Attention", MB_ICONWARNING | MB_YESNO) !=
      IDYES)
    return;
  Close();
}

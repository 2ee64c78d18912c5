#include "quote/Tficherecupmere.h"

#include "reference/Outils.h"
#include "shell/AnsiStrings.h"
#include "shell/ControlFactory.h"

namespace {

constexpr char kEnter = 13;
constexpr char kEscape = 27;
constexpr WORD VK_F5 = VK_F1 + 4;

}  // namespace

TFicheRecupMere::TFicheRecupMere(TComponent* Owner) : TForm(Owner) {
  SetClientSize(393, 503);
  SetBorderIcons({});
  SetFont("Tahoma", 8);
  SetKeyPreview(true);

  StaticTextRecherche = MakeLabel(this, "Recherche", 8, 12);
  EditRechercheBis = MakeEdit(this, 69, 8, 316);
  ListView = MakeControl<TListView>(this, 8, 35, 377, 405);
  ListView->SetHideSelection(false);
  ButtonSelectionner = MakeBitBtn(this, "S\xE9lectionner", bgSelect, 79, 446);
  ButtonFermer = MakeBitBtn(this, "Fermer", bgClose, 235, 445);

  EditRechercheBis->OnChange = [this] { EditRechercheBisChange(); };
  EditRechercheBis->OnKeyPress = [this](char& Key) { EditRechercheBisKeyPress(Key); };
  ListView->OnColumnClick = [this](int Column) { ListViewColumnClick(Column); };
  ListView->OnCompare = [this](TListItem* A, TListItem* B) { return ListViewCompare(A, B); };
  ListView->OnKeyPress = [this](char& Key) { ListViewKeyPress(Key); };
  ListView->OnSelectItem = [this](TListItem* Item, bool Selected) {
    ListViewSelectItem(Item, Selected);
  };
  ListView->OnDblClick = [this] { ButtonSelectionClick(); };
  ButtonSelectionner->OnClick = [this] { ButtonSelectionClick(); };
  ButtonFermer->OnClick = [this] { ButtonFermerClick(); };
  OnKeyPress = [this](char& Key) { FormKeyPress(Key); };
  OnKeyDown = [this](WORD& Key, TShiftState Shift) { FormKeyDown(Key, Shift); };
  OnClose = [this](TCloseAction& Action) { FormClose(Action); };
}

// The pickers' results are gone by now: the list must not report its rows any more.
TFicheRecupMere::~TFicheRecupMere() { ListView->OnSelectItem = nullptr; }

AnsiString TFicheRecupMere::TexteColonne(TListItem* Item, int Column) {
  if (Column == 0) return Item->GetCaption();
  TStrings* cells = Item->SubItems();
  return Column - 1 < cells->GetCount() ? cells->Strings(Column - 1) : AnsiString();
}

TListColumn* TFicheRecupMere::AjouterColonne(const char* Caption, int Width, bool Fixed) {
  return AddColumn(ListView, Caption, Width, taLeftJustify, Fixed ? Width : 0, Fixed ? Width : 0);
}

void TFicheRecupMere::FinRemplissage() {
  ListView->SetSortType(stText);
  if (TListItem* selected = ListView->Selected()) selected->MakeVisible(false);
}

int TFicheRecupMere::ComparerItems(TListItem* Item1, TListItem* Item2) {
  return AnsiCompareText(TexteColonne(Item1, ColonneTri), TexteColonne(Item2, ColonneTri));
}

void TFicheRecupMere::ValiderSelection() {
  if (!ListView->Selected()) return;
  FAccepte = true;
  SetModalResult(mrOk);
  Close();
}

// --- Search, keys and sorting --------------------------------------------------------------------

void TFicheRecupMere::EditRechercheBisChange() {
  RechercherDansListe(ListView, EditRechercheBis->GetText(), ColonneRecherche);
}

void TFicheRecupMere::EditRechercheBisKeyPress(char& Key) {
  if (Key != kEnter) return;
  TListItems* items = ListView->Items();
  if (!ListView->Selected() && items->GetCount() > 0) {
    TListItem* first = ListView->GetTopItem();
    ListView->SetSelected(first ? first : items->GetItem(0));
  }
  if (TListItem* selected = ListView->Selected()) {
    selected->SetFocused(true);
    selected->MakeVisible(false);
  }
  ListView->SetFocus();
}

void TFicheRecupMere::ListViewKeyPress(char& Key) {
  if (Key == kEnter) ValiderSelection();
}

void TFicheRecupMere::FormKeyPress(char& Key) {
  if (Key == kEscape) ButtonFermerClick();
}

// The refresh is on F5, so that typing a "t" in the search field only searches.
void TFicheRecupMere::FormKeyDown(WORD& Key, TShiftState) {
  if (Key != VK_F5) return;
  Key = 0;
  ButtonActualiserClick();
}

void TFicheRecupMere::ListViewColumnClick(int Column) {
  ListView->SetSortType(stNone);
  ColonneTri = Column == ColonneTri ? 0 : Column;
  ListView->SetSortType(stText);
}

// --- Leaving and refreshing ----------------------------------------------------------------------

void TFicheRecupMere::ButtonFermerClick() {
  if (TListItem* selected = ListView->Selected()) ItemSelectionne(selected, false);
  Close();
}

// Whatever closes the window without an accepted selection (the window manager as well as
// "Fermer" and Escape) leaves it without a result.
void TFicheRecupMere::FormClose(TCloseAction&) {
  if (FAccepte) return;
  if (TListItem* selected = ListView->Selected()) ItemSelectionne(selected, false);
}

void TFicheRecupMere::ButtonActualiserClick() {
  TListItem* selected = ListView->Selected();
  const AnsiString cle = selected ? TexteColonne(selected, ColonneCle) : AnsiString();
  ListView->Items()->Clear();
  ListView->SetSortType(stNone);
  RemplirListe(cle);
}

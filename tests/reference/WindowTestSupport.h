// Shared pieces of the window tests of both modes: a reference database made for the test with
// the data module on it, message boxes answered through the toolkit's seam, and driving a
// picker or dialog that a window shows modally.
//
// TReferenceWindowTest makes the database in a temporary folder, fills it with the names it is
// given and leaves the data module open on it for the test (the windows read through it);
// TearDown closes it. WhenShownModal runs an action on the window of type T owned by Owner once
// that window runs modally; the action must close it (a failure inside it is reported and the
// window closed, so that the test never hangs).
#pragma once

#include <gtest/gtest.h>

#include <QTimer>
#include <QtTest/QTest>
#include <functional>
#include <string>
#include <vector>

#include "reference/Tentreprise.h"
#include "shell/FormatSettings.h"
#include "shell/JvValidateEdit.h"
#include "shell/ListView.h"
#include "tests/reference/ReferenceTestDatabase.h"
#include "tests/shell/ToolkitTestSupport.h"

namespace windowtest {

using TBoxes = ::TMessageBoxRecorder;

struct TCompanyRow {
  const char* Nom;
  const char* Ville;
};

class TReferenceWindowTest : public ::testing::Test {
 protected:
  // French number texts (decimal comma, no-break space between thousands), a new database with these rows (identifiers from 1 in this order), and
  // the data module open on it.
  void createDatabase(const std::vector<std::string>& Materials,
                      const std::vector<std::string>& Units,
                      const std::vector<TCompanyRow>& Companies) {
    FormatSettings.DecimalSeparator = ',';
    FormatSettings.ThousandSeparator = '\xA0';
    referencetest::createReferenceDatabase(FPath);
    dmKestrevaud = &FModule;
    FModule.OuvrirBase(FPath);
    referencetest::addNames(FModule, "MATIERE", Materials);
    referencetest::addNames(FModule, "UNITE", Units);
    for (const TCompanyRow& row : Companies) {
      TEntreprise company;
      company.SetNom(row.Nom);
      company.SetVille(row.Ville);
      company.SetCP("74000");
      company.Sauvegarder();
    }
  }
  void TearDown() override {
    FModule.FermerBase();
    dmKestrevaud = nullptr;
    FormatSettings.DecimalSeparator = '.';
    FormatSettings.ThousandSeparator = ',';
  }
  void deleteRow(const char* Table, int32_t Id) {
    TABSTable* table = FModule.OuvrirTable(Table);
    ASSERT_TRUE(FModule.ChercherCle(table, 1, {Id}));
    table->Delete();
    FModule.LibererTable(table);
  }

  testsupport::TTempDir FDir;
  std::string FPath = FDir.File("kestrevaud.zev");
  TdmKestrevaud FModule{nullptr};
  // No real box ever opens: every box a test does not answer itself gets its default answer.
  TBoxes FUnanswered;
};

// The texts of a list's column in display order (0: the captions).
inline std::vector<std::string> columnTexts(TListView* List, int Column) {
  std::vector<std::string> result;
  for (int i = 0; i < List->Items()->GetCount(); ++i) {
    TListItem* item = List->Items()->GetItem(i);
    result.push_back(Column == 0 ? item->GetCaption() : item->SubItems()->Strings(Column - 1));
  }
  return result;
}

// Types into a numeric field as the user does: focus in, the whole text replaced by Text.
inline void typeInto(TJvValidateEdit* Field, const char* Text) {
  Field->SetFocus();
  QTest::keyClick(Field->Widget(), Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(Field->Widget(), Qt::Key_Backspace);
  TypeText(Field->Widget(), Text);
}

template <class T>
T* shownPicker(TComponent* Owner) {
  for (int i = 0; i < Owner->GetComponentCount(); ++i)
    if (auto* picker = dynamic_cast<T*>(Owner->GetComponent(i)))
      if (picker->IsModal() && picker->GetVisible()) return picker;
  return nullptr;
}

template <class T>
void WhenShownModal(TComponent* Owner, std::function<void(T&)> Action, int TriesLeft = 1000) {
  QTimer::singleShot(5, [=] {
    T* picker = shownPicker<T>(Owner);
    if (!picker) {
      if (TriesLeft > 0)
        WhenShownModal<T>(Owner, Action, TriesLeft - 1);
      else
        ADD_FAILURE() << "the picker was never shown";
      return;
    }
    try {
      Action(*picker);
    } catch (const std::exception& error) {
      ADD_FAILURE() << "the picker's action failed: " << error.what();
    }
    if (picker->IsModal() && picker->GetVisible()) {
      ADD_FAILURE() << "the picker's action left it open";
      picker->Close();
    }
  });
}

}  // namespace windowtest

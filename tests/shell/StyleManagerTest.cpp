#include "shell/StyleManager.h"

#include <gtest/gtest.h>

#include <QApplication>

#include "tests/shell/ToolkitTestSupport.h"

namespace {

TEST(StyleManagerTest, TheProgramStyleIsApplied) {
  TMessageBoxRecorder recorder;
  EXPECT_TRUE(TStyleManager::TrySetStyle("Smokey Quartz Orvex"));
  EXPECT_TRUE(recorder.Calls().empty());
  EXPECT_EQ(TStyleManager::GetActiveStyleName(), "Smokey Quartz Orvex");
  EXPECT_TRUE(qApp->styleSheet().contains("QTreeView"));
}

TEST(StyleManagerTest, AnUnknownStyleAnswersFalseWithAFrenchErrorBox) {
  TMessageBoxRecorder recorder;
  EXPECT_FALSE(TStyleManager::TrySetStyle("Carbon"));
  ASSERT_EQ(recorder.Calls().size(), 1u);
  const TMessageBoxCall& box = recorder.Calls()[0];
  EXPECT_EQ(box.Text, "Le style \xAB\xA0" "Carbon\xA0\xBB n'a pas pu \xEAtre appliqu\xE9.");
  EXPECT_EQ(box.Caption, "Erreur");
  EXPECT_EQ(box.Flags, MB_OK | MB_ICONERROR);

  EXPECT_FALSE(TStyleManager::TrySetStyle("Carbon", false));
  EXPECT_EQ(recorder.Calls().size(), 1u);
}

}  // namespace

// The application object of the toolkit tests: one QApplication (offscreen) and one
// TApplication for the whole binary, made before the first test and destroyed after the last.
#include <gtest/gtest.h>

#include <QtTest/QTest>
#include <cstdlib>
#include <memory>

#include "shell/Application.h"
#include "tests/shell/ToolkitTestSupport.h"

namespace {

class TQtEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    unsetenv("GD_MESSAGEBOX_LOG");
    static char name[] = "toolkit_tests";
    static char* argv[] = {name, nullptr};
    FApplication = std::make_unique<TApplication>();
    FApplication->Initialize(1, argv);
  }
  void TearDown() override { FApplication.reset(); }

 private:
  std::unique_ptr<TApplication> FApplication;
};

[[maybe_unused]] testing::Environment* const kEnvironment =
    testing::AddGlobalTestEnvironment(new TQtEnvironment);

}  // namespace

TMessageBoxRecorder::TMessageBoxRecorder(std::deque<int> Answers) : FAnswers(std::move(Answers)) {
  FPrevious = SetMessageBoxHandler([this](const TMessageBoxCall& Call) {
    FCalls.push_back(Call);
    if (FAnswers.empty()) return DefaultMessageBoxAnswer(Call);
    int answer = FAnswers.front();
    FAnswers.pop_front();
    return answer;
  });
}

TMessageBoxRecorder::~TMessageBoxRecorder() { SetMessageBoxHandler(std::move(FPrevious)); }

void TypeText(QWidget* Widget, const char* Text) {
  for (QChar c : QString::fromUtf8(Text)) {
    if (c.unicode() < 0x80) {
      QTest::keyClick(Widget, c.toLatin1());
      continue;
    }
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QApplication::sendEvent(Widget, &press);
    QApplication::sendEvent(Widget, &release);
  }
}

bool WaitForActiveWindow(QWidget* Window) { return QTest::qWaitForWindowActive(Window); }

// Shared pieces of the toolkit tests: the recorder of message boxes, and waiting for a window.
//
// TMessageBoxRecorder replaces the message-box handler for its lifetime, keeps every box shown
// and answers from a queue (then the box's default answer); it puts the previous handler back
// when it goes. The QApplication and the TApplication exist for the whole test binary
// (QtTestEnvironment.cpp).
#pragma once

#include <deque>
#include <vector>

#include "shell/MessageBoxes.h"

class QWidget;

class TMessageBoxRecorder {
 public:
  explicit TMessageBoxRecorder(std::deque<int> Answers = {});
  ~TMessageBoxRecorder();
  TMessageBoxRecorder(const TMessageBoxRecorder&) = delete;
  TMessageBoxRecorder& operator=(const TMessageBoxRecorder&) = delete;

  const std::vector<TMessageBoxCall>& Calls() const { return FCalls; }

 private:
  std::vector<TMessageBoxCall> FCalls;
  std::deque<int> FAnswers;
  TMessageBoxHandler FPrevious;
};

// Types Text (UTF-8) into Widget key by key, as the keyboard would; unlike QTest::keyClicks it
// also types the characters outside ASCII.
void TypeText(QWidget* Widget, const char* Text);

// Processes events until Window is the active window; false when it never becomes active.
bool WaitForActiveWindow(QWidget* Window);

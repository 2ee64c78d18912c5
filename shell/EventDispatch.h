// FireEvent: how the toolkit calls an event handler from inside Qt's event dispatch.
//
// Exceptions must not unwind through Qt's frames. An exception that a handler lets through is
// given to the application's standard exception display (TApplication::HandleException) and the
// rest of the handler is skipped, as the module's windows expect. Handlers that the toolkit calls
// from a direct call of the program (SetSelected, SetText, Close, sorting...) are called plainly
// and their exceptions reach the caller.
#pragma once

// Shows the exception being handled (call only inside a catch block). Without an application
// object the message goes to stderr.
void HandleEventException() noexcept;

template <class F>
void FireEvent(F&& Handler) noexcept {
  try {
    Handler();
  } catch (...) {
    HandleEventException();
  }
}

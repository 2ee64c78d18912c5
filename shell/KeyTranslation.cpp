#include "shell/KeyTranslation.h"

#include <QKeyEvent>

#include "shell/QtText.h"

WORD VirtualKeyFromQt(int QtKey, Qt::KeyboardModifiers Modifiers) {
  bool keypad = Modifiers.testFlag(Qt::KeypadModifier);
  if (QtKey >= Qt::Key_0 && QtKey <= Qt::Key_9)
    return static_cast<WORD>(keypad ? VK_NUMPAD0 + (QtKey - Qt::Key_0) : QtKey);
  if (QtKey >= Qt::Key_A && QtKey <= Qt::Key_Z) return static_cast<WORD>(QtKey);
  if (QtKey >= Qt::Key_F1 && QtKey <= Qt::Key_F12) return static_cast<WORD>(VK_F1 + (QtKey - Qt::Key_F1));
  switch (QtKey) {
    case Qt::Key_Backspace:
      return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return VK_RETURN;
    case Qt::Key_Shift:
      return VK_SHIFT;
    case Qt::Key_Control:
      return VK_CONTROL;
    case Qt::Key_Alt:
      return VK_MENU;
    case Qt::Key_Escape:
      return VK_ESCAPE;
    case Qt::Key_Space:
      return VK_SPACE;
    case Qt::Key_PageUp:
      return VK_PRIOR;
    case Qt::Key_PageDown:
      return VK_NEXT;
    case Qt::Key_End:
      return VK_END;
    case Qt::Key_Home:
      return VK_HOME;
    case Qt::Key_Left:
      return VK_LEFT;
    case Qt::Key_Up:
      return VK_UP;
    case Qt::Key_Right:
      return VK_RIGHT;
    case Qt::Key_Down:
      return VK_DOWN;
    case Qt::Key_Insert:
      return VK_INSERT;
    case Qt::Key_Delete:
      return VK_DELETE;
    case Qt::Key_Asterisk:
      return keypad ? VK_MULTIPLY : 0;
    case Qt::Key_Plus:
      return keypad ? VK_ADD : 0;
    case Qt::Key_Minus:
      return keypad ? VK_SUBTRACT : 0;
    case Qt::Key_Period:
    case Qt::Key_Comma:
      return keypad ? VK_DECIMAL : 0;
    case Qt::Key_Slash:
      return keypad ? VK_DIVIDE : 0;
    default:
      return 0;
  }
}

TShiftState ShiftStateFromQt(Qt::KeyboardModifiers Modifiers) {
  TShiftState s;
  if (Modifiers.testFlag(Qt::ShiftModifier)) s << ssShift;
  if (Modifiers.testFlag(Qt::AltModifier)) s << ssAlt;
  if (Modifiers.testFlag(Qt::ControlModifier)) s << ssCtrl;
  return s;
}

bool TypedCharFromKeyEvent(const QKeyEvent& Event, char& Ch) {
  switch (Event.key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Delete:
      return false;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      Ch = '\r';
      return true;
    case Qt::Key_Escape:
      Ch = '\x1B';
      return true;
    case Qt::Key_Backspace:
      Ch = '\b';
      return true;
    default:
      break;
  }
  QString text = Event.text();
  if (text.isEmpty() || text.at(0) == QChar(0x7F)) return false;
  Ch = FromQChar(text.at(0));
  return true;
}

// Translation of Qt key events into the toolkit's key codes and typed characters.
//
// VirtualKeyFromQt gives the VK_ code of a key (0 for keys the toolkit has no code for);
// TypedCharFromKeyEvent gives the Windows-1252 character a key press types, if any: printable
// characters ('?' for one without a Windows-1252 form), Return/Enter 13, Escape 27, Backspace 8,
// and control characters; Tab types nothing (it moves the focus). Nothing raises.
#pragma once

#include <Qt>

#include "shell/ToolkitTypes.h"

class QKeyEvent;

WORD VirtualKeyFromQt(int QtKey, Qt::KeyboardModifiers Modifiers);
TShiftState ShiftStateFromQt(Qt::KeyboardModifiers Modifiers);
bool TypedCharFromKeyEvent(const QKeyEvent& Event, char& Ch);

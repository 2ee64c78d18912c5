// Small value types shared by the desktop toolkit: sets of enumeration values, key codes, modal
// results, alignments and colours, with the numeric values of the Windows desktop platform the
// module's windows were written for (key codes and button answers are compared by value).
//
// Everything here is a plain value; nothing is owned and nothing raises.
#pragma once

#include <cstdint>
#include <initializer_list>

using WORD = uint16_t;

// A set of values of a small enumeration (at most 32 values), written and read like the
// platform's sets: TShiftState() << ssShift, Set.Contains(ssCtrl), or {mbYes, mbNo}.
template <class E>
class TSet {
 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> Values) {
    for (E v : Values) FBits |= Bit(v);
  }
  static constexpr TSet FromBits(uint32_t Bits) {
    TSet s;
    s.FBits = Bits;
    return s;
  }
  constexpr TSet& operator<<(E Value) {
    FBits |= Bit(Value);
    return *this;
  }
  constexpr TSet& operator>>(E Value) {
    FBits &= ~Bit(Value);
    return *this;
  }
  constexpr bool Contains(E Value) const { return (FBits & Bit(Value)) != 0; }
  constexpr bool Empty() const { return FBits == 0; }
  // Bit n stands for the value n of the enumeration.
  constexpr uint32_t Bits() const { return FBits; }
  constexpr bool operator==(const TSet&) const = default;

 private:
  static constexpr uint32_t Bit(E Value) { return uint32_t{1} << static_cast<unsigned>(Value); }
  uint32_t FBits = 0;
};

enum TShiftStateValue { ssShift, ssAlt, ssCtrl };
using TShiftState = TSet<TShiftStateValue>;

// Virtual-key codes seen by OnKeyDown. Letters and digits are their upper-case ASCII codes.
constexpr WORD VK_BACK = 0x08;
constexpr WORD VK_TAB = 0x09;
constexpr WORD VK_RETURN = 0x0D;
constexpr WORD VK_SHIFT = 0x10;
constexpr WORD VK_CONTROL = 0x11;
constexpr WORD VK_MENU = 0x12;
constexpr WORD VK_ESCAPE = 0x1B;
constexpr WORD VK_SPACE = 0x20;
constexpr WORD VK_PRIOR = 0x21;
constexpr WORD VK_NEXT = 0x22;
constexpr WORD VK_END = 0x23;
constexpr WORD VK_HOME = 0x24;
constexpr WORD VK_LEFT = 0x25;
constexpr WORD VK_UP = 0x26;
constexpr WORD VK_RIGHT = 0x27;
constexpr WORD VK_DOWN = 0x28;
constexpr WORD VK_INSERT = 0x2D;
constexpr WORD VK_DELETE = 0x2E;
constexpr WORD VK_NUMPAD0 = 0x60;  // up to VK_NUMPAD0 + 9
constexpr WORD VK_MULTIPLY = 0x6A;
constexpr WORD VK_ADD = 0x6B;
constexpr WORD VK_SUBTRACT = 0x6D;
constexpr WORD VK_DECIMAL = 0x6E;
constexpr WORD VK_DIVIDE = 0x6F;
constexpr WORD VK_F1 = 0x70;  // up to VK_F1 + 11 (F12)

// Modal results of forms and buttons, equal to the answers of the message boxes.
using TModalResult = int;
constexpr TModalResult mrNone = 0;
constexpr TModalResult mrOk = 1;
constexpr TModalResult mrCancel = 2;
constexpr TModalResult mrAbort = 3;
constexpr TModalResult mrRetry = 4;
constexpr TModalResult mrIgnore = 5;
constexpr TModalResult mrYes = 6;
constexpr TModalResult mrNo = 7;

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

// A colour as 0x00BBGGRR; clDefault leaves the look to the visual style.
using TColor = int32_t;
constexpr TColor clDefault = 0x20000000;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clNavy = 0x800000;
// The grey of buttons and dialog backgrounds in the program's style.
constexpr TColor clBtnFace = 0xD1D5D8;

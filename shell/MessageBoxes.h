// Modal message boxes: MessageBoxA, ShowMessage, MessageDlg, and the application's exception
// display, all through one replaceable seam.
//
// Every box is described by a TMessageBoxCall and handed to the current handler, whose answer
// the caller gets. With no handler set (the default, or after SetMessageBoxHandler(nullptr))
// the boxes are real Qt dialogs showing the Windows-1252 texts; without a QApplication they are
// written to stderr and answered with the box's default answer (IDOK, or IDNO for questions).
//
// The log seam for tests that run the real program as a process: when the environment variable
// GD_MESSAGEBOX_LOG names a file, InstallMessageBoxLogFromEnvironment() (called by
// TApplication::Initialize) sets a handler that shows nothing and appends each box to that file
// as one UTF-8 line
//
//     <kind>|<flags>|<caption>|<text>
//
// where <kind> is MessageBoxA, ShowMessage, MessageDlg or ShowException; <flags> is, in decimal,
// the MB_ flags of the box, or for MessageDlg its button set (bit n for button n: mbYes 1,
// mbNo 2, mbOK 4, mbCancel 8); caption and text have '\' written as "\\", line feeds as "\n"
// and carriage returns as "\r" ('|' is not escaped: the text is the last field). The answers are
// taken in turn from GD_MESSAGEBOX_ANSWERS, a comma-separated list of IDOK, IDCANCEL, IDYES,
// IDNO or decimal numbers, one per box, returned as given; once the list is used up (or without
// it) each box gets its default answer: IDOK for an OK box, IDNO for Yes/No, IDCANCEL for boxes
// with a Cancel button. The file is opened, appended to and closed for every box.
//
// Errors: none raised; a log file that cannot be written loses the line and the box is still
// answered.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "engine/storage/ZEVCodePage.h"
#include "shell/ToolkitTypes.h"

// MessageBoxA flags and answers.
constexpr unsigned MB_OK = 0x00;
constexpr unsigned MB_OKCANCEL = 0x01;
constexpr unsigned MB_YESNOCANCEL = 0x03;
constexpr unsigned MB_YESNO = 0x04;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr unsigned MB_ICONINFORMATION = 0x40;
constexpr unsigned MB_TYPEMASK = 0x0F;
constexpr unsigned MB_ICONMASK = 0xF0;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel };
using TMsgDlgButtons = TSet<TMsgDlgBtn>;

enum class TMessageBoxKind { MessageBoxA, ShowMessage, MessageDlg, ShowException };

struct TMessageBoxCall {
  TMessageBoxKind Kind = TMessageBoxKind::MessageBoxA;
  AnsiString Text;
  AnsiString Caption;
  unsigned Flags = MB_OK;     // MB_ flags; for MessageDlg the icon and buttons it stands for
  TMsgDlgType DlgType = mtCustom;  // MessageDlg only
  TMsgDlgButtons Buttons;          // MessageDlg only
};

using TMessageBoxHandler = std::function<int(const TMessageBoxCall&)>;

// Shows a box; Owner is always nullptr (no owner window). Answers IDOK, IDYES, IDNO, IDCANCEL.
int MessageBoxA(void* Owner, const char* Text, const char* Caption, unsigned Flags);
// An OK box with the application title as caption and no icon.
void ShowMessage(const AnsiString& Text);
// A box with the icon and English caption of DlgType ("Warning", "Error", "Information",
// "Confirm"; the application title for mtCustom) and the given buttons. Answers mrYes, mrNo,
// mrOk or mrCancel. HelpCtx is accepted and ignored.
int MessageDlg(const AnsiString& Text, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx);

// Replaces the handler of every box and answers the previous one; nullptr restores the real
// dialogs.
TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler Handler);

// Shows a described box through the current handler; the common path of the functions above
// and of TApplication::ShowException.
int ShowMessageBox(const TMessageBoxCall& Call);

// The answer a box gets when the user closes it without choosing (Escape, close box).
int DefaultMessageBoxAnswer(const TMessageBoxCall& Call);

// The log line of a box, without the line end.
std::string MessageBoxLogLine(const TMessageBoxCall& Call);
// A handler that appends to LogPath and answers from Answers in turn (format above).
TMessageBoxHandler MakeMessageBoxLogHandler(const std::string& LogPath,
                                            const std::vector<std::string>& Answers);
// Installs the log handler when GD_MESSAGEBOX_LOG is set and not empty; answers whether it did.
bool InstallMessageBoxLogFromEnvironment();

#include "shell/MessageBoxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <utility>

#include "shell/Application.h"
#include "shell/QtText.h"

namespace {

TMessageBoxHandler& currentHandler() {
  static TMessageBoxHandler handler;
  return handler;
}

const char* kindName(TMessageBoxKind Kind) {
  switch (Kind) {
    case TMessageBoxKind::MessageBoxA:
      return "MessageBoxA";
    case TMessageBoxKind::ShowMessage:
      return "ShowMessage";
    case TMessageBoxKind::MessageDlg:
      return "MessageDlg";
    case TMessageBoxKind::ShowException:
      return "ShowException";
  }
  return "MessageBoxA";
}

std::string escapeField(const AnsiString& Text) {
  std::string out;
  for (char c : zev::Utf8FromAnsi(Text)) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else
      out += c;
  }
  return out;
}

// The buttons of a box as (answer, label) in display order.
std::vector<std::pair<int, const char*>> buttonsOf(const TMessageBoxCall& Call) {
  if (Call.Kind == TMessageBoxKind::MessageDlg) {
    std::vector<std::pair<int, const char*>> b;
    if (Call.Buttons.Contains(mbYes)) b.push_back({mrYes, "&Yes"});
    if (Call.Buttons.Contains(mbNo)) b.push_back({mrNo, "&No"});
    if (Call.Buttons.Contains(mbOK)) b.push_back({mrOk, "OK"});
    if (Call.Buttons.Contains(mbCancel)) b.push_back({mrCancel, "Cancel"});
    if (b.empty()) b.push_back({mrOk, "OK"});
    return b;
  }
  switch (Call.Flags & MB_TYPEMASK) {
    case MB_OKCANCEL:
      return {{IDOK, "OK"}, {IDCANCEL, "Annuler"}};
    case MB_YESNOCANCEL:
      return {{IDYES, "&Oui"}, {IDNO, "&Non"}, {IDCANCEL, "Annuler"}};
    case MB_YESNO:
      return {{IDYES, "&Oui"}, {IDNO, "&Non"}};
    default:
      return {{IDOK, "OK"}};
  }
}

QMessageBox::Icon iconOf(unsigned Flags) {
  switch (Flags & MB_ICONMASK) {
    case MB_ICONERROR:
      return QMessageBox::Critical;
    case MB_ICONQUESTION:
      return QMessageBox::Question;
    case MB_ICONWARNING:
      return QMessageBox::Warning;
    case MB_ICONINFORMATION:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

int showQtMessageBox(const TMessageBoxCall& Call) {
  int fallback = DefaultMessageBoxAnswer(Call);
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
    std::fprintf(stderr, "%s\n%s\n", zev::Utf8FromAnsi(Call.Caption).c_str(),
                 zev::Utf8FromAnsi(Call.Text).c_str());
    return fallback;
  }
  QMessageBox box(QApplication::activeWindow());
  box.setWindowTitle(ToQString(Call.Caption));
  box.setTextFormat(Qt::PlainText);
  box.setText(ToQString(Call.Text));
  box.setIcon(iconOf(Call.Flags));
  std::vector<std::pair<QAbstractButton*, int>> answers;
  for (auto& [answer, label] : buttonsOf(Call)) {
    QPushButton* b = box.addButton(ToQString(zev::AnsiFromUtf8(label)), QMessageBox::ActionRole);
    answers.push_back({b, answer});
    if (answers.size() == 1) box.setDefaultButton(b);
    if (answer == fallback) box.setEscapeButton(b);
  }
  box.exec();
  for (auto& [button, answer] : answers)
    if (box.clickedButton() == button) return answer;
  return fallback;
}

int answerFromName(const std::string& Name, int Fallback) {
  static const std::pair<const char*, int> names[] = {
      {"IDOK", IDOK}, {"IDCANCEL", IDCANCEL}, {"IDYES", IDYES}, {"IDNO", IDNO}};
  for (auto& [n, v] : names)
    if (Name == n) return v;
  char* end = nullptr;
  long v = std::strtol(Name.c_str(), &end, 10);
  return !Name.empty() && end && *end == '\0' ? static_cast<int>(v) : Fallback;
}

std::vector<std::string> splitAnswers(const char* List) {
  std::vector<std::string> out;
  if (!List) return out;
  std::string item;
  for (const char* p = List;; ++p) {
    if (*p == ',' || *p == '\0') {
      auto b = item.find_first_not_of(" \t");
      auto e = item.find_last_not_of(" \t");
      out.push_back(b == std::string::npos ? std::string() : item.substr(b, e - b + 1));
      item.clear();
      if (*p == '\0') break;
    } else {
      item += *p;
    }
  }
  return out;
}

}  // namespace

int DefaultMessageBoxAnswer(const TMessageBoxCall& Call) {
  if (Call.Kind == TMessageBoxKind::MessageDlg) {
    if (Call.Buttons.Contains(mbCancel)) return mrCancel;
    if (Call.Buttons.Contains(mbNo)) return mrNo;
    if (Call.Buttons.Contains(mbOK) || Call.Buttons.Empty()) return mrOk;
    return mrYes;
  }
  switch (Call.Flags & MB_TYPEMASK) {
    case MB_OKCANCEL:
    case MB_YESNOCANCEL:
      return IDCANCEL;
    case MB_YESNO:
      return IDNO;
    default:
      return IDOK;
  }
}

TMessageBoxHandler SetMessageBoxHandler(TMessageBoxHandler Handler) {
  return std::exchange(currentHandler(), std::move(Handler));
}

int ShowMessageBox(const TMessageBoxCall& Call) {
  // A copy: the handler may replace itself while it runs.
  TMessageBoxHandler handler = currentHandler();
  return handler ? handler(Call) : showQtMessageBox(Call);
}

int MessageBoxA(void* /*Owner*/, const char* Text, const char* Caption, unsigned Flags) {
  TMessageBoxCall call;
  call.Kind = TMessageBoxKind::MessageBoxA;
  call.Text = Text ? Text : "";
  call.Caption = Caption ? Caption : "";
  call.Flags = Flags;
  return ShowMessageBox(call);
}

void ShowMessage(const AnsiString& Text) {
  TMessageBoxCall call;
  call.Kind = TMessageBoxKind::ShowMessage;
  call.Text = Text;
  call.Caption = ApplicationTitle();
  call.Flags = MB_OK;
  ShowMessageBox(call);
}

int MessageDlg(const AnsiString& Text, TMsgDlgType DlgType, TMsgDlgButtons Buttons,
               int /*HelpCtx*/) {
  static const struct {
    const char* Caption;
    unsigned Icon;
  } types[] = {{"Warning", MB_ICONWARNING},
               {"Error", MB_ICONERROR},
               {"Information", MB_ICONINFORMATION},
               {"Confirm", MB_ICONQUESTION},
               {nullptr, 0}};
  TMessageBoxCall call;
  call.Kind = TMessageBoxKind::MessageDlg;
  call.Text = Text;
  call.Caption = types[DlgType].Caption ? AnsiString(types[DlgType].Caption) : ApplicationTitle();
  call.Flags = types[DlgType].Icon;
  call.DlgType = DlgType;
  call.Buttons = Buttons;
  return ShowMessageBox(call);
}

std::string MessageBoxLogLine(const TMessageBoxCall& Call) {
  unsigned flags = Call.Kind == TMessageBoxKind::MessageDlg ? Call.Buttons.Bits() : Call.Flags;
  return std::string(kindName(Call.Kind)) + "|" + std::to_string(flags) + "|" +
         escapeField(Call.Caption) + "|" + escapeField(Call.Text);
}

TMessageBoxHandler MakeMessageBoxLogHandler(const std::string& LogPath,
                                            const std::vector<std::string>& Answers) {
  struct TState {
    std::vector<std::string> Answers;
    size_t Next = 0;
  };
  auto state = std::make_shared<TState>();
  state->Answers = Answers;
  return [LogPath, state](const TMessageBoxCall& Call) {
    {
      std::ofstream out(LogPath, std::ios::binary | std::ios::app);
      out << MessageBoxLogLine(Call) << '\n';
    }
    int fallback = DefaultMessageBoxAnswer(Call);
    if (state->Next >= state->Answers.size()) return fallback;
    return answerFromName(state->Answers[state->Next++], fallback);
  };
}

bool InstallMessageBoxLogFromEnvironment() {
  const char* log = std::getenv("GD_MESSAGEBOX_LOG");
  if (!log || !*log) return false;
  SetMessageBoxHandler(MakeMessageBoxLogHandler(log, splitAnswers(std::getenv("GD_MESSAGEBOX_ANSWERS"))));
  return true;
}

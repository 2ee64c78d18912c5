#include "shell/StyleManager.h"

#include <QApplication>
#include <QFile>
#include <QPalette>
#include <QStyle>
#include <QStyleFactory>

#include <cctype>
#include "shell/MessageBoxes.h"

namespace {

struct TStyleEntry {
  const char* Name;
  const char* SheetResource;
};

const TStyleEntry kStyles[] = {
    {"Smokey Quartz Orvex", ":/styles/SmokeyQuartzOrvex.qss"},
};

AnsiString& activeStyleName() {
  static AnsiString name;
  return name;
}

bool sameAsciiText(const AnsiString& A, const char* B) {
  AnsiString b(B);
  if (A.size() != b.size()) return false;
  for (size_t i = 0; i < A.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(A[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// The smoky quartz palette: warm greys, a brown-grey highlight that stays visible when a list
// loses the focus.
QPalette smokeyQuartzPalette() {
  const QColor window(0xd8, 0xd5, 0xd1), base(0xf7, 0xf6, 0xf4), text(0x26, 0x24, 0x22),
      button(0xd0, 0xcc, 0xc7), highlight(0x6e, 0x62, 0x59), disabled(0x90, 0x8a, 0x85);
  QPalette p;
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, QColor(0xec, 0xe9, 0xe5));
  p.setColor(QPalette::ToolTipBase, QColor(0xf4, 0xef, 0xe6));
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::PlaceholderText, disabled);
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::Button, button);
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::BrightText, Qt::white);
  p.setColor(QPalette::Light, window.lighter(125));
  p.setColor(QPalette::Midlight, window.lighter(110));
  p.setColor(QPalette::Mid, window.darker(130));
  p.setColor(QPalette::Dark, window.darker(160));
  p.setColor(QPalette::Shadow, QColor(0x4a, 0x45, 0x40));
  p.setColor(QPalette::Link, QColor(0x4a, 0x5f, 0x80));
  for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
    p.setColor(g, QPalette::Highlight, highlight);
    p.setColor(g, QPalette::HighlightedText, Qt::white);
  }
  p.setColor(QPalette::Disabled, QPalette::Text, disabled);
  p.setColor(QPalette::Disabled, QPalette::WindowText, disabled);
  p.setColor(QPalette::Disabled, QPalette::ButtonText, disabled);
  p.setColor(QPalette::Disabled, QPalette::Highlight, window.darker(120));
  return p;
}

bool applyStyle(const TStyleEntry& Entry) {
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  if (!app) return false;
  QFile file(QString::fromLatin1(Entry.SheetResource));
  if (!file.open(QIODevice::ReadOnly)) return false;
  QString sheet = QString::fromUtf8(file.readAll());
  if (sheet.isEmpty()) return false;
  QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"));
  if (!fusion) return false;
  QApplication::setStyle(fusion);  // the application takes it over
  QApplication::setPalette(smokeyQuartzPalette());
  app->setStyleSheet(sheet);
  return true;
}

}  // namespace

// Outside any namespace, as Q_INIT_RESOURCE requires: links the style resource of this static
// library into the program.
static void initStyleResources() { Q_INIT_RESOURCE(ToolkitStyles); }

AnsiString TStyleManager::StyleErrorText(const AnsiString& Name) {
  // "Le style « %s » n'a pas pu être appliqué." in Windows-1252, with no-break spaces inside
  // the quotation marks.
  return "Le style \xAB\xA0" + Name + "\xA0\xBB n'a pas pu \xEAtre appliqu\xE9.";
}

bool TStyleManager::TrySetStyle(const AnsiString& Name, bool ShowErrorDialog) {
  initStyleResources();
  for (const TStyleEntry& entry : kStyles) {
    if (sameAsciiText(Name, entry.Name) && applyStyle(entry)) {
      activeStyleName() = entry.Name;
      return true;
    }
  }
  if (ShowErrorDialog) MessageBoxA(nullptr, StyleErrorText(Name).c_str(), "Erreur", MB_OK | MB_ICONERROR);
  return false;
}

AnsiString TStyleManager::GetActiveStyleName() { return activeStyleName(); }

#include "quote/XMLDocument.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>

#include <cstdio>
#include <string>

#include "engine/storage/ZEVCodePage.h"
#include "reference/Outils.h"

namespace {

// "Pas de document actif", "Le nom de fichier ne peut pas être vide" (Windows-1252).
constexpr const char* kNoActiveDocument = "Pas de document actif";
constexpr const char* kEmptyFileName = "Le nom de fichier ne peut pas \xEAtre vide";
constexpr const char* kTwoDocumentElements = "Le document a d\xE9j\xE0 un \xE9l\xE9ment racine";

const xmlChar* xml(const std::string& Utf8) { return reinterpret_cast<const xmlChar*>(Utf8.c_str()); }

AnsiString ansiOf(const xmlChar* Text) {
  return Text ? zev::AnsiFromUtf8(reinterpret_cast<const char*>(Text)) : AnsiString();
}

std::string utf8Path(const AnsiString& FileName) { return zev::Utf8FromAnsi(FileName); }

// The parser's last message, without its line end.
AnsiString lastParserError(const AnsiString& FileName) {
  const xmlError* error = xmlGetLastError();
  std::string text = error && error->message ? error->message : "cannot read the file";
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return zev::AnsiFromUtf8(text) + " (" + FileName + ")";
}

AnsiString textOf(const TXMLValue& Value) {
  if (const auto* integer = std::get_if<int32_t>(&Value)) return std::to_string(*integer);
  if (const auto* number = std::get_if<double>(&Value)) return FloatToStr(*number);
  return std::get<AnsiString>(Value);
}

}  // namespace

// --- TXMLNodeList ----------------------------------------------------------------------------------

int TXMLNodeList::Count() const {
  _xmlNode* first = LParent ? LParent->children : LDocument.checkedDocument()->children;
  int count = 0;
  for (_xmlNode* node = first; node; node = node->next) ++count;
  return count;
}

TXMLNode& TXMLNodeList::Nodes(int Index) {
  _xmlNode* node = LParent ? LParent->children : LDocument.checkedDocument()->children;
  for (int i = 0; node && i < Index; ++i) node = node->next;
  return LDocument.nodeFor(node);
}

TXMLNode& TXMLNodeList::operator[](const AnsiString& Name) {
  _xmlNode* first = LParent ? LParent->children : LDocument.checkedDocument()->children;
  const std::string name = zev::Utf8FromAnsi(Name);
  for (_xmlNode* node = first; node; node = node->next)
    if (node->type == XML_ELEMENT_NODE && name == reinterpret_cast<const char*>(node->name))
      return LDocument.nodeFor(node);
  return LDocument.addChild(LParent, Name);
}

// --- TXMLNode ----------------------------------------------------------------------------------

AnsiString TXMLNode::NodeName() const { return ansiOf(LNode->name); }

bool TXMLNode::IsElement() const { return LNode->type == XML_ELEMENT_NODE; }

std::optional<AnsiString> TXMLNode::Attributes(const AnsiString& Name) const {
  if (LNode->type != XML_ELEMENT_NODE) return std::nullopt;
  xmlChar* value = xmlGetProp(LNode, xml(zev::Utf8FromAnsi(Name)));
  if (!value) return std::nullopt;
  AnsiString text = ansiOf(value);
  xmlFree(value);
  return text;
}

void TXMLNode::SetAttribute(const AnsiString& Name, const TXMLValue& Value) {
  const std::string name = zev::Utf8FromAnsi(Name);
  if (std::holds_alternative<std::monostate>(Value)) {
    xmlUnsetProp(LNode, xml(name));
    return;
  }
  xmlSetProp(LNode, xml(name), xml(zev::Utf8FromAnsi(textOf(Value))));
}

TXMLNode& TXMLNode::AddChild(const AnsiString& Name) { return LDocument.addChild(LNode, Name); }

// --- TXMLDocument ------------------------------------------------------------------------------

TXMLDocument::TXMLDocument(TComponent* Owner) : TComponent(Owner) {}

TXMLDocument::~TXMLDocument() { freeDocument(); }

void TXMLDocument::freeDocument() {
  FNodes.clear();
  if (FDocument) xmlFreeDoc(FDocument);
  FDocument = nullptr;
}

void TXMLDocument::SetActive(bool Active) {
  if (Active == this->Active()) return;
  freeDocument();
  if (Active) FDocument = xmlNewDoc(xml("1.0"));
}

_xmlDoc* TXMLDocument::checkedDocument() const {
  if (!FDocument) throw EXMLDocError(kNoActiveDocument);
  return FDocument;
}

void TXMLDocument::LoadFromFile(const AnsiString& FileName) {
  if (FileName.empty()) throw EXMLDocError(kEmptyFileName);
  xmlResetLastError();
  _xmlDoc* loaded = xmlReadFile(utf8Path(FileName).c_str(), nullptr,
                                XML_PARSE_NOBLANKS | XML_PARSE_NONET | XML_PARSE_NOERROR |
                                    XML_PARSE_NOWARNING);
  if (!loaded) throw EXMLDocError(lastParserError(FileName));
  freeDocument();
  FDocument = loaded;
  FEncoding = ansiOf(loaded->encoding);
}

void TXMLDocument::SaveToFile(const AnsiString& FileName) {
  _xmlDoc* document = checkedDocument();
  if (FileName.empty()) throw EXMLDocError(kEmptyFileName);
  if (!FEncoding.empty()) {
    if (xmlSaveFormatFileEnc(utf8Path(FileName).c_str(), document, FEncoding.c_str(), 0) < 0)
      throw EXMLDocError(lastParserError(FileName));
    return;
  }
  // No encoding set: UTF-8 text under a declaration that names no encoding.
  xmlChar* text = nullptr;
  int size = 0;
  xmlDocDumpFormatMemoryEnc(document, &text, &size, "UTF-8", 0);
  std::string bytes(reinterpret_cast<const char*>(text), static_cast<size_t>(size));
  xmlFree(text);
  const std::string declared = " encoding=\"UTF-8\"";
  const size_t at = bytes.find(declared);
  if (at != std::string::npos && at < bytes.find("?>")) bytes.erase(at, declared.size());
  std::FILE* file = std::fopen(utf8Path(FileName).c_str(), "wb");
  const bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (file && std::fclose(file) != 0) throw EXMLDocError("Cannot write " + FileName);
  if (!written) throw EXMLDocError("Cannot write " + FileName);
}

void TXMLDocument::SetEncoding(const AnsiString& Encoding) {
  checkedDocument();
  FEncoding = Encoding;
}

TXMLNodeList& TXMLDocument::ChildNodes() {
  checkedDocument();
  return FChildNodes;
}

TXMLNode* TXMLDocument::DocumentElement() {
  _xmlNode* root = xmlDocGetRootElement(checkedDocument());
  return root ? &nodeFor(root) : nullptr;
}

TXMLNode& TXMLDocument::AddChild(const AnsiString& Name) { return addChild(nullptr, Name); }

TXMLNode& TXMLDocument::nodeFor(_xmlNode* Node) {
  auto found = FNodes.find(Node);
  if (found != FNodes.end()) return *found->second;
  auto inserted = FNodes.emplace(Node, std::unique_ptr<TXMLNode>(new TXMLNode(*this, Node)));
  return *inserted.first->second;
}

TXMLNode& TXMLDocument::addChild(_xmlNode* Parent, const AnsiString& Name) {
  _xmlDoc* document = checkedDocument();
  _xmlNode* node = xmlNewDocNode(document, nullptr, xml(zev::Utf8FromAnsi(Name)), nullptr);
  if (Parent) {
    xmlAddChild(Parent, node);
  } else {
    if (xmlDocGetRootElement(document)) {
      xmlFreeNode(node);
      throw EXMLDocError(kTwoDocumentElements);
    }
    xmlDocSetRootElement(document, node);
  }
  return nodeFor(node);
}

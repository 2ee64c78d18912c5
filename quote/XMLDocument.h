// TXMLDocument: the small XML document the exchange files are read and written with (libxml2
// underneath). It offers what the quote window needs of an XML document component: activation
// (an empty document), loading a whole file in whatever encoding it declares (whitespace-only
// text between elements is not kept; comments are), the child list of a node by position and by
// element name — a look-up by name that finds no such child element adds an empty one and
// returns it —, attributes read as text or null when missing, attributes set from an integer,
// a double (its general text form) or a text (null removes the attribute), the encoding of the
// declaration, and saving without added white space.
//
// Texts are Windows-1252 at this interface. Saving with the encoding "ISO-8859-1" writes that
// declaration and writes every character outside ISO-8859-1 (the euro sign, œ...) as a character
// reference; without an encoding the file is UTF-8 with no encoding declaration.
//
// Ownership: the document owns its tree and the node objects handed out (valid until the
// document is deactivated, reloaded or destroyed). Errors: EXMLDocError "Pas de document actif"
// (a document that is not active), "Le nom de fichier ne peut pas être vide" (an empty path),
// the parser's message for a file that cannot be read or is not well-formed, and the save
// failure.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <variant>

#include "engine/storage/ZEVExcept.h"
#include "engine/tables/Component.h"

struct _xmlDoc;
struct _xmlNode;

class EXMLDocError : public Exception {
 public:
  using Exception::Exception;
};

class TXMLDocument;
class TXMLNode;

class TXMLNodeList {
 public:
  int Count() const;
  // Requires: 0 <= Index < Count().
  TXMLNode& Nodes(int Index);
  // The first child element of that name, added (empty) when there is none.
  TXMLNode& operator[](const AnsiString& Name);

 private:
  friend class TXMLDocument;
  friend class TXMLNode;
  TXMLNodeList(TXMLDocument& Document, _xmlNode* Parent) : LDocument(Document), LParent(Parent) {}
  TXMLDocument& LDocument;
  _xmlNode* LParent;  // nullptr: the document's own children
};

using TXMLValue = std::variant<std::monostate, int32_t, double, AnsiString>;

class TXMLNode {
 public:
  TXMLNode(const TXMLNode&) = delete;
  TXMLNode& operator=(const TXMLNode&) = delete;

  AnsiString NodeName() const;
  bool IsElement() const;
  TXMLNodeList& ChildNodes() { return FChildNodes; }
  // The attribute's text, or no value when the node has no such attribute.
  std::optional<AnsiString> Attributes(const AnsiString& Name) const;
  // Null (std::monostate) removes the attribute.
  void SetAttribute(const AnsiString& Name, const TXMLValue& Value);
  TXMLNode& AddChild(const AnsiString& Name);

 private:
  friend class TXMLDocument;
  friend class TXMLNodeList;
  TXMLNode(TXMLDocument& Document, _xmlNode* Node)
      : LDocument(Document), LNode(Node), FChildNodes(Document, Node) {}
  TXMLDocument& LDocument;
  _xmlNode* LNode;
  TXMLNodeList FChildNodes;
};

class TXMLDocument : public TComponent {
 public:
  explicit TXMLDocument(TComponent* Owner);
  ~TXMLDocument() override;

  bool Active() const { return FDocument != nullptr; }
  // Activating makes an empty document; deactivating drops the tree.
  void SetActive(bool Active);
  void LoadFromFile(const AnsiString& FileName);
  void SaveToFile(const AnsiString& FileName);
  // The encoding of the declaration written by SaveToFile ("" for none).
  void SetEncoding(const AnsiString& Encoding);
  AnsiString Encoding() const { return FEncoding; }

  TXMLNodeList& ChildNodes();
  // The document element, or nullptr.
  TXMLNode* DocumentElement();
  TXMLNode& AddChild(const AnsiString& Name);

 private:
  friend class TXMLNode;
  friend class TXMLNodeList;
  _xmlDoc* checkedDocument() const;
  TXMLNode& nodeFor(_xmlNode* Node);
  TXMLNode& addChild(_xmlNode* Parent, const AnsiString& Name);
  void freeDocument();

  _xmlDoc* FDocument = nullptr;
  AnsiString FEncoding;
  std::map<_xmlNode*, std::unique_ptr<TXMLNode>> FNodes;
  TXMLNodeList FChildNodes{*this, nullptr};
};

#include "quote/XMLDocument.h"

#include <gtest/gtest.h>

#include "shell/FormatSettings.h"
#include "tests/support/TestSupport.h"

namespace {

// The message of the EXMLDocError an action raises, or "".
template <class F>
std::string xmlErrorOf(F&& Action) {
  try {
    Action();
  } catch (const EXMLDocError& e) {
    return e.Message();
  }
  return "";
}

// Runs xmllint on a file: its exit code, and what it printed into Output.
int xmllint(const std::vector<std::string>& Args, std::string* Output = nullptr) {
  return testsupport::RunProgram("/usr/bin/xmllint", Args, {}, Output);
}

class XMLDocumentTest : public ::testing::Test {
 protected:
  testsupport::TTempDir FDir;
};

TEST_F(XMLDocumentTest, AnInactiveDocumentAndAnEmptyPathAreRefused) {
  TXMLDocument document(nullptr);
  EXPECT_EQ(xmlErrorOf([&] { document.ChildNodes(); }), "Pas de document actif");
  EXPECT_EQ(xmlErrorOf([&] { document.LoadFromFile(""); }),
            "Le nom de fichier ne peut pas \xEAtre vide");
  EXPECT_FALSE(document.Active());
  EXPECT_NE(xmlErrorOf([&] { document.LoadFromFile(FDir.File("absent.xml")); }), "");
  testsupport::WriteFile(FDir.File("bad.xml"), "<Wej><Lignes></Wej>");
  EXPECT_NE(xmlErrorOf([&] { document.LoadFromFile(FDir.File("bad.xml")); }), "");
  EXPECT_FALSE(document.Active()) << "a failed load leaves no document";
}

TEST_F(XMLDocumentTest, ChildrenByNameAreLookedUpOrAdded) {
  const std::string path = FDir.File("in.xml");
  testsupport::WriteFile(path,
                         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n<Wej>\n  <Lignes>\n"
                         "    <Ligne IdMatiere=\"3\" Quantite=\"2,5\"/>\n    <!-- note -->\n"
                         "    <Autre IdMatiere=\"4\"/>\n  </Lignes>\n</Wej>\n");
  TXMLDocument document(nullptr);
  document.LoadFromFile(path);
  TXMLNode& wej = document.ChildNodes()["Wej"];
  TXMLNodeList& lines = wej.ChildNodes()["Lignes"].ChildNodes();
  ASSERT_EQ(lines.Count(), 3) << "indentation is not kept; the comment is a child";
  EXPECT_EQ(lines.Nodes(0).Attributes("IdMatiere").value_or("null"), "3");
  EXPECT_EQ(lines.Nodes(0).Attributes("Quantite").value_or("null"), "2,5");
  EXPECT_FALSE(lines.Nodes(0).Attributes("Cout").has_value());
  EXPECT_FALSE(lines.Nodes(1).IsElement());
  EXPECT_FALSE(lines.Nodes(1).Attributes("IdMatiere").has_value());
  EXPECT_EQ(lines.Nodes(2).NodeName(), "Autre");
  // A missing element is added, empty.
  TXMLNode& labour = wej.ChildNodes()["MainOeuvre"];
  EXPECT_FALSE(labour.Attributes("Montant").has_value());
  EXPECT_EQ(wej.ChildNodes().Count(), 2);
  EXPECT_EQ(&wej.ChildNodes()["MainOeuvre"], &labour);
  EXPECT_NE(xmlErrorOf([&] { document.AddChild("Second"); }), "") << "one document element";
}

TEST_F(XMLDocumentTest, LatinOneOutputWritesOtherCharactersAsReferences) {
  FormatSettings.DecimalSeparator = ',';
  TXMLDocument document(nullptr);
  document.SetActive(true);
  document.SetEncoding("ISO-8859-1");
  TXMLNode& wej = document.AddChild("Wej");
  TXMLNode& line = wej.AddChild("Lignes").AddChild("Ligne");
  const AnsiString name = "Caf\xE9 \x9C" "uvre \x80 & <co>";  // é, œ, €, markup
  line.SetAttribute("IdMatiere", int32_t{12});
  line.SetAttribute("NomMatiere", name);
  line.SetAttribute("Quantite", 2.5);
  line.SetAttribute("Cout", 10.0);
  line.SetAttribute("Gone", AnsiString("x"));
  line.SetAttribute("Gone", std::monostate{});
  wej.AddChild("MainOeuvre").SetAttribute("Montant", 0.1);
  const std::string path = FDir.File("out.xml");
  document.SaveToFile(path);
  FormatSettings.DecimalSeparator = '.';

  const std::string bytes = testsupport::ReadFile(path);
  EXPECT_EQ(bytes.rfind("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n", 0), 0u) << bytes;
  EXPECT_NE(bytes.find("Caf\xE9 &#339;uvre &#8364; &amp; &lt;co&gt;"), std::string::npos) << bytes;
  EXPECT_NE(bytes.find("<Wej><Lignes><Ligne IdMatiere=\"12\""), std::string::npos)
      << "no white space added";
  EXPECT_NE(bytes.find("Quantite=\"2,5\" Cout=\"10\"/>"), std::string::npos);
  EXPECT_EQ(bytes.find("Gone"), std::string::npos);
  EXPECT_EQ(xmllint({"--noout", path}), 0);

  // Read back, the name is the same.
  TXMLDocument reread(nullptr);
  reread.LoadFromFile(path);
  EXPECT_EQ(reread.Encoding(), "ISO-8859-1");
  TXMLNode& again = reread.ChildNodes()["Wej"].ChildNodes()["Lignes"].ChildNodes().Nodes(0);
  EXPECT_EQ(again.Attributes("NomMatiere").value_or(""), name);
  EXPECT_EQ(reread.ChildNodes()["Wej"].ChildNodes()["MainOeuvre"].Attributes("Montant").value_or(""),
            "0,1");
}

TEST_F(XMLDocumentTest, WithoutAnEncodingTheFileIsUtf8WithoutDeclaringIt) {
  TXMLDocument document(nullptr);
  document.SetActive(true);
  document.AddChild("Wej").SetAttribute("Nom", AnsiString("\xC9t\xE9 \x80"));
  const std::string path = FDir.File("cancel.xml");
  document.SaveToFile(path);
  const std::string bytes = testsupport::ReadFile(path);
  EXPECT_EQ(bytes.find("encoding"), std::string::npos) << bytes;
  EXPECT_NE(bytes.find("\xC3\x89t\xC3\xA9 \xE2\x82\xAC"), std::string::npos) << "UTF-8";
  std::string output;
  EXPECT_EQ(xmllint({"--noout", path}, &output), 0) << output;
  EXPECT_NE(xmlErrorOf([&] { document.SaveToFile(FDir.File("missing/out.xml")); }), "");
}

}  // namespace

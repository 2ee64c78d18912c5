// TABSIndexDef, one index of a table: its type, ordered columns (field name, direction, case
// sensitivity, how many bytes a short key keeps), unique and primary flags, root page, and for
// a temporary index the session that owns it; and TABSIndexDefs, a table's index list, which
// stores only the indexes that are not temporary and finds the index that serves a column list.
//
// Ownership: an index definition owns its columns; the list owns its definitions.
// Locking: none (guarded by the owner of the list).
// Errors: EABSException 10276 to 10279 (column lists of different lengths), 10424 (Assign),
// and the stream texts with the codes of the item cut.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/tables/ZEVFieldDefs.h"
#include "engine/tables/ZEVMetaObjectDefs.h"

namespace zev {

enum TABSIndexType : uint8_t { itBTree = 0, itAnotherOne = 1 };

struct TABSIndexColumn {
  static constexpr int32_t kDefaultMaxIndexedSize = 20;

  AnsiString FFieldName;
  bool FDescending = false;
  bool FCaseInsensitive = false;
  int32_t FMaxIndexedSize = kDefaultMaxIndexedSize;  // bytes of the value a short key keeps

  bool operator==(const TABSIndexColumn&) const = default;
};

class TABSIndexDef : public TABSMetaObjectDef {
 public:
  void Assign(const TABSMetaObjectDef& Source) override;
  // Header, type, unique, primary, column count, root page, then per column the field name,
  // descending, case-insensitive and maximum indexed size. A loaded index is never temporary.
  void LoadFromStream(TABSStream& Stream) override;
  void SaveToStream(TABSStream& Stream) const override;
  std::unique_ptr<TABSMetaObjectDef> Clone() const override;

  // Replaces the columns by one per name: descending where AscDescList holds "DESC",
  // case-insensitive where CaseSensitivityList holds "NO_CASE", 20 indexed bytes each.
  // Lists of other lengths than FieldNames raise 10278 (AscDescList) or 10279.
  void AssignByNames(const std::vector<AnsiString>& FieldNames,
                     const std::vector<AnsiString>& AscDescList,
                     const std::vector<AnsiString>& CaseSensitivityList);

  TABSIndexType FIndexType = itBTree;
  std::vector<TABSIndexColumn> FIndexColumns;
  bool FUnique = false;
  bool FPrimary = false;
  int32_t FRootPageNo = -1;
  bool FTemporary = false;  // never stored
  int32_t FSessionID = -1;  // the owner of a temporary index
  int32_t FTableState = 0;
  bool FNeedRebuild = false;
};

class TABSIndexDefs : public TABSMetaObjectDefs {
 public:
  // Appends a new index definition (all defaults) and answers it.
  TABSIndexDef* AddCreated();
  // The count of the indexes that are not temporary, then those indexes in order.
  void SaveToStream(TABSStream& Stream) const override;

  // The object id of the first index in list order that serves the columns, or -1. An index
  // serves them when it has at least as many columns, is not temporary or belongs to
  // SessionID, and each requested column i matches its column i: same name ignoring case;
  // "ASC" needs ascending, "DESC" descending; "CASE" needs a case-sensitive column when the
  // field (looked up in FieldDefs) has a string storage type; "NO_CASE" needs a
  // case-insensitive column. Other entries ask nothing. Lists of other lengths than
  // FieldNames raise 10276 (AscDescList) or 10277.
  int32_t FindIndex(const std::vector<AnsiString>& FieldNames,
                    const std::vector<AnsiString>& AscDescList,
                    const std::vector<AnsiString>& CaseSensitivityList, int32_t SessionID,
                    const TABSFieldDefs& FieldDefs) const;
  bool IsIndexExists(const std::vector<AnsiString>& FieldNames,
                     const std::vector<AnsiString>& AscDescList,
                     const std::vector<AnsiString>& CaseSensitivityList, int32_t SessionID,
                     const TABSFieldDefs& FieldDefs) const {
    return FindIndex(FieldNames, AscDescList, CaseSensitivityList, SessionID, FieldDefs) != -1;
  }

  TABSIndexDef* GetIndexDefByName(const AnsiString& Name) const {
    return static_cast<TABSIndexDef*>(GetDefByName(Name));
  }
  TABSIndexDef* Items(int Index) const {
    return static_cast<TABSIndexDef*>(TABSMetaObjectDefs::Items(Index));
  }

 protected:
  std::unique_ptr<TABSMetaObjectDef> createDef() const override;
  bool isOwnKind(const TABSMetaObjectDef& Def) const override;
};

}  // namespace zev

// TABSMetaObjectDef, the part every field, index and constraint definition shares (a name and
// an object identifier), and TABSMetaObjectDefs, the ordered list that owns definitions and
// stores them in a table's metadata. Also the small readers and writers of the metadata items
// (single bytes, little-endian integers, names with a length byte, short strings with a count)
// that the definition units share; each raises the stream text with the code it is given.
//
// Definitions expose their data as public F-prefixed members: they are plain descriptions that
// the field manager, cursors and table components fill and read. Names are compared after
// AnsiUpperCase. Offsets and data sizes are never stored.
//
// Ownership: a collection owns its definitions (std::unique_ptr); Items hands out links that
// live until the definition is deleted or the list is cleared, loaded or assigned.
// Locking: none (a table's definitions are guarded by their owner).
// Errors: EABSException 10424 (Assign with a repeated name) and the stream read / write texts
// with the codes of the item cut. Index arguments out of range raise std::out_of_range, and
// inserting a definition of another kind raises std::invalid_argument (programming errors).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/storage/ZEVCodePage.h"
#include "engine/storage/ZEVStream.h"

namespace zev {

class TABSMetaObjectDef {
 public:
  static constexpr size_t MaxNameLength = 255;

  TABSMetaObjectDef() = default;
  virtual ~TABSMetaObjectDef() = default;
  TABSMetaObjectDef(const TABSMetaObjectDef&) = delete;
  TABSMetaObjectDef& operator=(const TABSMetaObjectDef&) = delete;

  // Copies what Source and this definition have in common (the whole definition when both are
  // of one class).
  virtual void Assign(const TABSMetaObjectDef& Source);
  // Name as a length byte and at most 255 characters (10166, 10167), object id (10169).
  virtual void LoadFromStream(TABSStream& Stream);
  // The same; a longer name is cut to 255 characters (10164, 10165, 10168).
  virtual void SaveToStream(TABSStream& Stream) const;
  // A new definition of this one's class holding a copy of it.
  virtual std::unique_ptr<TABSMetaObjectDef> Clone() const;

  AnsiString FName;
  int32_t FObjectID = -1;
  AnsiString FSchemaName;  // not stored
  int32_t FSchemaID = -1;  // not stored
};

class TABSMetaObjectDefs {
 public:
  TABSMetaObjectDefs() = default;
  virtual ~TABSMetaObjectDefs() = default;
  TABSMetaObjectDefs(const TABSMetaObjectDefs&) = delete;
  TABSMetaObjectDefs& operator=(const TABSMetaObjectDefs&) = delete;

  // Empties the list, then reads the count (10159) and that many definitions. A failed read
  // leaves the list partly loaded.
  virtual void LoadFromStream(TABSStream& Stream);
  // The count (10158) and every definition in order.
  virtual void SaveToStream(TABSStream& Stream) const;
  // Empties the list and appends a copy of each definition of Source in order; a non-empty
  // name already present raises 10424 (the copies made so far stay).
  virtual void Assign(const TABSMetaObjectDefs& Source);
  virtual void Delete(int Index);
  // Inserts Def before position Index (Count() appends) and answers the link to it.
  virtual TABSMetaObjectDef* Insert(int Index, std::unique_ptr<TABSMetaObjectDef> Def);
  // Moves the definition at CurIndex so that it ends at NewIndex.
  virtual void Move(int CurIndex, int NewIndex);
  virtual void Clear();

  TABSMetaObjectDef* Add(std::unique_ptr<TABSMetaObjectDef> Def) {
    return Insert(Count(), std::move(Def));
  }
  int GetDefNumberByName(const AnsiString& Name) const;           // -1 when absent
  TABSMetaObjectDef* GetDefByName(const AnsiString& Name) const;  // nullptr when absent
  int GetDefNumberByObjectId(int32_t ObjectID) const;             // -1 when absent
  TABSMetaObjectDef* GetDefByObjectId(int32_t ObjectID) const;    // nullptr when absent
  int Count() const { return static_cast<int>(FItems.size()); }
  TABSMetaObjectDef* Items(int Index) const { return FItems.at(checkedIndex(Index)).get(); }

 protected:
  // A new empty definition of the list's kind, for the loader.
  virtual std::unique_ptr<TABSMetaObjectDef> createDef() const;
  // Reads one stored definition.
  virtual std::unique_ptr<TABSMetaObjectDef> loadItem(TABSStream& Stream) const;
  // Writes one definition.
  virtual void saveItem(TABSStream& Stream, const TABSMetaObjectDef& Def) const;
  // Whether Def may live in this list (typed lists hand their items out by their class).
  virtual bool isOwnKind(const TABSMetaObjectDef& Def) const;
  static size_t checkedIndex(int Index) {
    return Index < 0 ? static_cast<size_t>(-1) : static_cast<size_t>(Index);
  }

  std::vector<std::unique_ptr<TABSMetaObjectDef>> FItems;
};

// --- Metadata items ------------------------------------------------------------------------
// Each reads or writes exactly its bytes with ReadBuffer / WriteBuffer and the code(s) given.
namespace metadata {

void WriteUInt8(TABSStream& Stream, uint8_t Value, int Code);
uint8_t ReadUInt8(TABSStream& Stream, int Code);
void WriteBool(TABSStream& Stream, bool Value, int Code);  // 1 or 0
bool ReadBool(TABSStream& Stream, int Code);               // any other byte than 0 is true
void WriteInt32(TABSStream& Stream, int32_t Value, int Code);
int32_t ReadInt32(TABSStream& Stream, int Code);
void WriteInt64(TABSStream& Stream, int64_t Value, int Code);
int64_t ReadInt64(TABSStream& Stream, int Code);

// A length byte n then n characters (at most 255: a longer text is cut).
void WriteString1(TABSStream& Stream, const AnsiString& Value, int LengthCode, int BytesCode);
AnsiString ReadString1(TABSStream& Stream, int LengthCode, int BytesCode);

// A short string behind a count: the count N (CountWidth 1 or 4 bytes), then N bytes that are
// the short string with its own leading length byte, N = length + 1. The text is cut to 255
// characters, and to 254 behind a 1-byte count so that N fits the count. Reading accepts any
// N, keeping at most N - 1 characters.
void WriteShortString(TABSStream& Stream, const AnsiString& Value, int CountWidth, int CountCode,
                      int BytesCode);
AnsiString ReadShortString(TABSStream& Stream, int CountWidth, int CountCode, int BytesCode);

}  // namespace metadata

}  // namespace zev

// The native error codes of the field, index and constraint definitions and their message
// texts, one entry per message, in the form EABSException formats them. The definition units
// raise through these names; the codes of the metadata stream items sit next to the code that
// reads and writes them.
#pragma once

#include "engine/storage/ZEVErrorCodes.h"

namespace zev::errors {

// --- Collections (ZEVMetaObjectDefs) --------------------------------------------------------
// Assigning a definition list in which a name repeats; with the name.
inline constexpr TNativeMessage kDuplicateDefName{10424, "Duplicate field name %s"};

// --- Indexes (ZEVIndexDefs) -----------------------------------------------------------------
// The column lists of an index lookup (field names against ascending/descending entries, then
// against case entries) and of AssignByNames (the same two pairs); with both lengths.
inline constexpr TNativeMessage kFindIndexAscDescLengths{
    10276, "Error - different list lengths. L1 = %d, L2 = %d"};
inline constexpr TNativeMessage kFindIndexCaseLengths{
    10277, "Error - different list lengths. L1 = %d, L2 = %d"};
inline constexpr TNativeMessage kAssignByNamesAscDescLengths{
    10278, "Error - different list lengths. L1 = %d, L2 = %d"};
inline constexpr TNativeMessage kAssignByNamesCaseLengths{
    10279, "Error - different list lengths. L1 = %d, L2 = %d"};

// --- Constraints (ZEVConstraintDefs) --------------------------------------------------------
// A stored constraint type byte that names no loadable constraint kind; with the byte.
inline constexpr TNativeMessage kUnknownConstraintType{30316, "Unknown Constraint Type: '%d'"};

}  // namespace zev::errors

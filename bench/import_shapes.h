// Generated inputs of the shapes that once made an import slow: many sibling folders, many
// folders of one name, many lists, many LDIF groups, and one list naming every contact.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vesk::bench {

enum class ImportShape {
    ArchiveFolders,       ///< archive: N sibling folders, one card each
    ArchiveSameFolder,    ///< archive: N sibling folders all named "f", one card each
    ArchiveLists,         ///< archive: N contacts and N lists of one member
    LdifGroups,           ///< LDIF: N contacts and N groups of one member
    ArchiveOneLargeList,  ///< archive: N contacts and one list naming all N
    LdifOneLargeGroup,    ///< LDIF: N contacts and one group naming all N
};

struct ShapeInfo {
    ImportShape shape;
    const char* name;       ///< short name for tables and benchmark labels
    const char* extension;  ///< ".kynt" or ".ldif"
};

/// Every shape, in the order of the tables.
const std::vector<ShapeInfo>& importShapes();
/// The file text of `shape` with `count` contacts (LF line ends).
std::string shapeText(ImportShape shape, std::size_t count);

}  // namespace vesk::bench

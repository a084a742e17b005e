// The applications Vesk knows, by number and display name, and how a conversion reaches each:
// the display names are what automation tasks and the command line name applications by, and
// the routes are what the application dispatch follows.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/format_info.h"

namespace vesk {

inline constexpr int kFormatCount = 24;

/// How a conversion reads from an application.
enum class SourceRoute {
    None,            ///< not a source
    File,            ///< the file given, its type from the extension or the content
    FileAsApp,       ///< the file given, read as this application's format
    Store,           ///< the application's store, through the reader its number selects
    ConfiguredFile,  ///< a file in the application's configured folder
    ExternalExport,  ///< the program itself exports to the exchange file
    KeptFile,        ///< the file the wizard kept for it, else the file given
};

/// How a conversion writes to an application.
enum class DestinationRoute {
    File,            ///< the file given, its type from the extension
    FileAsApp,       ///< the file given, written as this application's format
    Store,           ///< the writer its number selects, whatever the file's extension
    ConfiguredFile,  ///< a file in the application's configured folder
    ExternalImport,  ///< written to the exchange file, which the program then imports
};

/// Whether the source is a file the user names with the application.
enum class SourceFile { None, Required, Optional };

struct ApplicationInfo {
    Application number;
    std::string_view name = {};   ///< "Outlook Express"
    std::string_view alias = {};  ///< "oe" on the command line; "" when none
    /// Detection fills a configured location for it.
    bool pathSlot = false;
    SourceRoute source = SourceRoute::None;
    DestinationRoute destination = DestinationRoute::File;
    SourceFile sourceFile = SourceFile::None;
    /// The file a ConfiguredFile route names in the configured folder.
    std::string_view configuredFile = {};
};

/// Every application, by number (3 and 4 share "Pegasus Mail").
const std::vector<ApplicationInfo>& applications();
/// The application a display name or alias names (exact, case-sensitive), or nullptr.
const ApplicationInfo* applicationNamed(std::string_view nameOrAlias);
/// The application of a number, or nullptr.
const ApplicationInfo* applicationOf(Application number);

/// The number of a display name (exact, case-sensitive); "Pegasus Mail" gives 3 for a path
/// ending in "pml" or "PML", else 4; "Other" gives 100; an unknown name gives -1.
int FormatNumberOf(std::string_view name, std::string_view filePath);
/// The display name of a number ("" for none); with `ldifVariant`, 2 gives "LDAP/LDIF File".
std::string FormatName(int number, bool ldifVariant = false);
/// True for the numbers that have a configured-path slot.
bool hasPathSlot(int number);

}  // namespace vesk

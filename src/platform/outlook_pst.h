// Outlook's object model over a .pst or .ost file, read through libpff: the mailbox's Contacts
// folder (the first folder of contact items), its subfolders, contacts and distribution lists.
// Only what the readers use is there; the file is never written.
#pragma once

#include <string>

#include "platform/outlook.h"

namespace vesk::outlook {

/// A factory whose Application reads the .pst/.ost file `fileName`; creating it fails with an
/// automation error when no file is named or the file cannot be read.
ApplicationFactory pstApplication(std::string fileName);

/// The display name and the address of a one-off entry identifier (a list member), or false.
bool parseOneOffEntryId(const std::string& entryId, std::string& name, std::string& address);

}  // namespace vesk::outlook

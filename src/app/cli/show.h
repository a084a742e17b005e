// `vesk show FILE`: what Vesk read from a file, as a table a user can check before converting:
// every contact's name and e-mail address, then each folder and list with its count.
#pragma once

#include <iosfwd>
#include <string>

#include "model/adbook.h"

namespace vesk::cli {

/// The heading (`title` and the counts), the book's contacts, then its folders (indented,
/// with their own contacts, folders and lists) and its lists with their members.
void printBook(NewAdbook& book, const std::string& title, std::ostream& out);

}  // namespace vesk::cli

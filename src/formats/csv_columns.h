// Columns of CSV files found by more than one heading each: files without a heading line, read
// by what their columns hold; Google's typed columns ("Phone 1 - Type" beside "Phone 1 - Value"),
// whose field depends on each row's type; second street lines ("Home Address 2").
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "model/entry.h"

namespace vesk::csv {

using Row = std::vector<std::string>;
using ColumnMap = std::array<int, kFieldCount>;

/// A value shaped like an e-mail address (one "@", a dot after it, no blanks).
bool looksLikeEmail(std::string_view value);

/// True when `rows` (the first records of a file) have no heading line: a column holds e-mail
/// addresses in most rows, the first row included.
bool looksHeaderless(const std::vector<Row>& rows);

/// Columns of a file without headings, by content: the e-mail column, the name column (and the
/// first and last name when two columns join to it), up to three phone-like columns (home,
/// business, mobile); -1 where no column fits.
ColumnMap columnsByContent(const std::vector<Row>& rows);

/// The first address of a cell that may hold several ("a@x,b@y", as abook writes them).
std::string_view firstAddress(std::string_view cell);

/// Google's numbered groups: a type (or label) column and the value columns of one item.
struct TypedGroup {
    enum class Kind { Email, Phone, Website, Address };
    Kind kind = Kind::Email;
    int type = -1;
    int value = -1;  ///< e-mail, phone, website
    int street = -1, extended = -1, poBox = -1, city = -1, region = -1, postalCode = -1,
        country = -1, formatted = -1;
};

/// Adds the addresses of a cell that lists several, joined by `separator`: the first goes to
/// the e-mail field when that is empty, the others to the entry's further e-mails.
void addAddresses(Entry& e, std::string_view cell, std::string_view separator);

/// The typed groups among `headings` that have a type column.
std::vector<TypedGroup> findTypedGroups(const std::vector<std::string>& headings);

/// Every column a typed group reads.
std::vector<int> columnsOf(const TypedGroup& group);

/// Fills the still empty fields of `e` from one row's group, by the row's type.
void fillTyped(const TypedGroup& group, const Row& row, Entry& e);

/// The fields a typed group may fill.
FieldMask fieldsOf(const TypedGroup& group);

/// The field whose second (or third) street line a heading names ("Home Address 2",
/// "Business Street 2"), or -1.
int secondLineField(std::string_view heading);

}  // namespace vesk::csv

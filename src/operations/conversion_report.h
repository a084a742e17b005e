// What a conversion leaves behind: the values, lists and folders a destination format cannot
// hold, counted once here for the command line and the window alike.
#pragma once

#include <functional>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "model/adbook.h"
#include "model/format_info.h"

namespace vesk {

/// One event of a conversion: what became of one value of one entry.
struct ReportEvent {
    std::string entry;  ///< the contact's Full Name (else its address), or the list or folder
    std::string field;  ///< a field or extra name, or "List", "List member", "Folder", "Contact"
    std::string value;
    bool kept = false;
    std::string reason;
};

struct ConversionReport {
    /// Values left out, by field or extra name.
    std::map<std::string, int> droppedByField;
    int valuesDropped = 0;
    int listsDropped = 0;
    int membersDropped = 0;     ///< members of lists that were not written
    int membersUnresolved = 0;  ///< members that matched no contact (kept as contacts)
    int foldersFlattened = 0;   ///< folders written without their folder
    int contactsSkipped = 0;    ///< contacts holding nothing the destination keeps
};

using ReportSink = std::function<void(const ReportEvent&)>;

/// Compares every entry of `book` (folders and lists included) with what `destination`
/// writes; each event goes to `sink` when one is given.
ConversionReport reportFor(NewAdbook& book, const FormatInfo& destination,
                           const ReportSink& sink = {});

/// The lines of the summary (without "vesk: " and line ends), one per kind of loss.
std::vector<std::string> reportSummary(const ConversionReport& report);

/// One JSON object per line: {"entry":..,"field":..,"value":..,"status":"kept"|"dropped",
/// "reason":..}.
void writeJsonLine(std::ostream& out, const ReportEvent& event);

}  // namespace vesk

// Pairing a CSV file's column headings with contact fields: by the names common exports use
// when no window can ask, or through the "CSV Options" page the reader asks for.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "formats/csv_field_map.h"

namespace vesk {

/// The field that a column heading of a common export names (Outlook, Outlook Express,
/// Thunderbird, Google, the field display names and the writer's own headings), or -1.
int csvAutomaticField(std::string_view heading);

/// A column paired with a field on the command line: its heading, or its number (from 1) in a
/// file without a heading line.
struct CsvColumnPair {
    std::string heading;
    int field = -1;
};

/// Takes `--csv-map "Heading=Field,..."` (a field by its display name or by a heading the
/// automatic map knows) for the run; false with `error` set when an item pairs nothing.
bool setCsvCommandLineMap(RunContext& run, std::string_view text, std::string& error);
/// The pairs given on the command line (none by default).
const std::vector<CsvColumnPair>& csvCommandLineMap(RunContext& run);

/// The reader's request to open the "CSV Options" page with the file's column headings.
class CsvOptionsRequest {
  public:
    virtual ~CsvOptionsRequest() = default;
    /// Lets the user edit `map` for the file `fileName` whose column headings are `headings`
    /// (empty when opened from the preferences); false when the user cancels.
    virtual bool editFieldMap(CsvSettings& map, const std::vector<std::string>& headings,
                              const std::string& fileName) = 0;
};

/// Without a window: pairs the file's headings with fields by name, for this run only. A file
/// none of whose headings names a contact's name or address is reported and cancelled.
class AutomaticCsvOptions : public CsvOptionsRequest {
  public:
    explicit AutomaticCsvOptions(RunContext& run) : m_run(run) {}
    bool editFieldMap(CsvSettings& map, const std::vector<std::string>& headings,
                      const std::string& fileName) override;

  private:
    RunContext& m_run;
};

/// The run's request: the one its front end set, else the automatic one.
CsvOptionsRequest& csvOptionsRequest(RunContext& run);
/// Sets the run's request (nullptr: back to the automatic one).
void setCsvOptionsRequest(RunContext& run, CsvOptionsRequest* request);

}  // namespace vesk

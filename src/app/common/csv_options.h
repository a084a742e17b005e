// The "CSV Options" page without widgets: rows pairing a column heading (or, in
// absolute-position mode, a column) with a contact field, edited on a copy of the run's field
// map that OK applies.
#pragma once

#include <string>
#include <vector>

#include "formats/csv_field_map.h"

namespace vesk {

class CsvOptionsPage {
  public:
    /// Over the run's map `settings`; `headings` are the columns of the file the reader is
    /// opening (empty when the preferences opened the page).
    CsvOptionsPage(CsvSettings& settings, std::vector<std::string> headings, bool fromReader);

    /// The rows: the headings up to the first field that has none.
    int rowCount() const;
    const std::string& rowText(int row) const;
    const std::string& rowField(int row) const;
    /// The file's column headings, offered for the edit box.
    const std::vector<std::string>& fileHeadings() const { return m_headings; }

    /// The drop-down chose `field` for `row`: the field that row held takes the chosen
    /// field's place, so the chosen field is paired with the row's heading.
    void chooseField(int row, const std::string& field);
    /// "&Add": `text` becomes the heading of the first field that has none; false when the
    /// text is empty or every field has a heading.
    bool add(const std::string& text);
    /// "&Change": the row's heading becomes `text` (not empty).
    bool change(int row, const std::string& text);
    /// "&Remove": the row goes; its field has no heading any more.
    bool remove(int row);

    bool absolute() const { return m_work.absolute(); }
    void setAbsolute(bool absolute) { m_work.mode = absolute ? 1 : 0; }
    CsvChoice choice() const { return m_choice; }
    /// "Only use for this operation" is offered only while a file is being read.
    bool offersThisOperationOnly() const { return m_fromReader; }
    void setChoice(CsvChoice choice);

    /// OK: the edited map becomes the run's and is stored unless it is for this operation only;
    /// false after "Error writing data!".
    bool apply(RunContext& run);

  private:
    void headingRows();
    void columnRows();

    CsvSettings& m_target;
    CsvSettings m_work;
    std::vector<std::string> m_headings;
    bool m_fromReader;
    CsvChoice m_choice;
};

}  // namespace vesk

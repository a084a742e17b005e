#include "app/common/entry_pages.h"

#include <cctype>
#include <ctime>

namespace vesk {

namespace {

using F = Field;

const std::vector<EntryPageField> kGeneral = {
    {1044, "First:", F::FirstName},      {1006, "Middle:", F::MiddleName},
    {1045, "Last:", F::LastName},        {1000, "Title:", F::Title},
    {1017, "Display:", F::FullName},     {1007, "Nickname:", F::Nickname},
    {1008, "E-Mail Address:", F::Email}, {1018, "Spouse:", F::Spouse},
    {1038, "Notes:", F::Notes, true},
};

const std::vector<EntryPageField> kHome = {
    {1025, "Street Address:", F::HomeStreet, true},
    {1026, "City:", F::HomeCity},
    {1027, "State/Province:", F::HomeState},
    {1028, "Zip/Postal Code:", F::HomePostalCode},
    {1029, "Country:", F::HomeCountry},
    {1021, "Phone:", F::HomePhone},
    {1022, "Fax:", F::HomeFax},
    {1023, "Cellular:", F::CellularPhone},
    {1024, "Web Page:", F::HomeWebPage},
};

const std::vector<EntryPageField> kBusiness = {
    {1030, "Organization:", F::Organization},
    {1019, "Street Address:", F::BusinessStreet, true},
    {1006, "City:", F::BusinessCity},
    {1007, "State/Province:", F::BusinessState},
    {1008, "Zip/Postal Code:", F::BusinessPostalCode},
    {1020, "Country:", F::BusinessCountry},
    {1000, "Job Title:", F::JobTitle},
    {1036, "Department:", F::Department},
    {1035, "Office:", F::Office},
    {1031, "Phone:", F::BusinessPhone},
    {1032, "Fax:", F::BusinessFax},
    {1033, "Pager:", F::Pager},
    {1039, "Web Page:", F::BusinessWebPage},
};

/// The Summary page's values, line by line beside its labels.
constexpr Field kSummaryFields[] = {
    F::FullName,    F::Email,         F::HomePhone,       F::Pager,    F::CellularPhone,
    F::HomeWebPage, F::BusinessPhone, F::BusinessFax,     F::JobTitle, F::Department,
    F::Office,      F::Organization,  F::BusinessWebPage,
};

bool startsWithNoCase(const std::string& text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalNoCase(text.substr(0, prefix.size()), prefix);
}

}  // namespace

const std::vector<EntryPageField>& entryPageFields(EntryPage page) {
    static const std::vector<EntryPageField> none;
    switch (page) {
        case EntryPage::General:
            return kGeneral;
        case EntryPage::Home:
            return kHome;
        case EntryPage::Business:
            return kBusiness;
        case EntryPage::Summary:
            break;
    }
    return none;
}

EntryPage pageOfField(Field field) {
    for (EntryPage p : {EntryPage::General, EntryPage::Home, EntryPage::Business}) {
        for (const EntryPageField& f : entryPageFields(p))
            if (f.field == field) return p;
    }
    return EntryPage::Summary;
}

std::string summaryLabels() {
    return "Name:\nE-Mail Address:\nHome Phone:\nPager:\nCellular:\nPersonal Web Page:\n"
           "Business Phone:\nBusiness Fax:\nJob Title:\nDepartment:\nOffice:\nOrganization:\n"
           "Business Web Page:\nDate:";
}

std::string summaryValues(const Entry& entry) {
    std::string text;
    for (Field f : kSummaryFields) text += entry[f] + "\n";
    return text + cTimeText(entry.revisionTime);
}

std::string cTimeText(std::int64_t time) {
    const auto t = static_cast<std::time_t>(time);
    std::tm parts{};
    if (!localtime_r(&t, &parts)) return "\n";
    char text[64];
    // The C library's asctime layout: the day of the month padded to two places with a blank.
    if (std::strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y\n", &parts) == 0) return "\n";
    return text;
}

std::string webPageToOpen(const std::string& text) {
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
    const std::string address = text.substr(b, e - b);
    if (address.empty()) return {};
    if (startsWithNoCase(address, "http://") || startsWithNoCase(address, "https://"))
        return address;
    // Anything naming a scheme, a drive, a share or a local path is not a web page.
    if (address.find(':') != std::string::npos || address.find('\\') != std::string::npos ||
        address.front() == '/' || address.front() == '.' || address.front() == '~')
        return {};
    for (char c : address)
        if (std::isspace(static_cast<unsigned char>(c))) return {};
    return "http://" + address;
}

EntrySheetState::EntrySheetState(Entry& entry, bool newEntry)
    : m_entry(entry), m_new(newEntry), m_texts(entry.allFields()) {}

const std::string& EntrySheetState::text(Field field) const {
    return m_texts[static_cast<std::size_t>(field)];
}

void EntrySheetState::setText(Field field, std::string text) {
    m_texts[static_cast<std::size_t>(field)] = std::move(text);
    const EntryPage page = pageOfField(field);
    if (page == EntryPage::Summary) return;
    m_flags[static_cast<std::size_t>(page)] = true;
    if (field == Field::FullName) m_flags[0] = true;
}

void EntrySheetState::apply(std::int64_t now) {
    for (EntryPage page : {EntryPage::General, EntryPage::Home, EntryPage::Business}) {
        if (!m_flags[static_cast<std::size_t>(page)]) continue;
        for (const EntryPageField& f : entryPageFields(page)) {
            const auto i = static_cast<std::size_t>(f.field);
            // A field the user typed into is the contact's data now, whatever its source could
            // hold: without its mask bit a later copy of the entry would drop it.
            if (m_entry[f.field] != m_texts[i]) m_entry.mask.set(i);
            m_entry[f.field] = m_texts[i];
        }
        m_entry.revisionTime = now;
    }
}

SheetResult EntrySheetState::result(bool ok) const {
    SheetResult r;
    r.ok = ok;
    r.nameChanged = m_flags[0];
    r.generalChanged = m_flags[1];
    r.homeChanged = m_flags[2];
    r.businessChanged = m_flags[3];
    return r;
}

}  // namespace vesk

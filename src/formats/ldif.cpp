#include "formats/ldif.h"

#include "parsing/ldif_records.h"
#include "parsing/sniff_text.h"
#include "parsing/tagged_file.h"
#include "platform/trace.h"

namespace vesk {

ToLDIF::ToLDIF(RunContext& run, std::string fileName) : ToFile(run, std::move(fileName)) {
    wantsLists = true;
    takesViews = true;
    // LF line ends as Thunderbird writes them: abook keeps a CR as part of the value before it.
    // Every value beyond ASCII is base64, so the text needs no encoding of its own.
    m_text.keepLfLineEnds();
}

void ToLDIF::appendLine(std::string_view attr, std::string_view value, bool spaced) {
    m_text.append(attr);
    if (ldif::isSafeValue(value)) {
        m_text.append(spaced ? ": " : ":");
        m_text.append(value);
    } else {
        m_text.append(":: ");
        m_base64.clear();
        ldif::appendBase64(m_base64, value);
        m_text.append(m_base64);
    }
    m_text.push_back('\n');
}

void ToLDIF::appendIfSet(std::string_view attr, const Entry& e, Field f) {
    if (!e[f].empty()) appendLine(attr, e[f]);
}

bool ToLDIF::writeView(const Entry& e) {
    const std::string& name = e[Field::FullName];
    const std::string& mail = e[Field::Email];
    if (m_inGroup) {
        if (e.kind == KindListEnd) {
            m_text.push_back('\n');
            m_inGroup = false;
            return true;
        }
        if (e.isMarker()) return true;
        m_scratch.clear();
        if (!name.empty()) {
            m_scratch.append("cn=");
            ldif::appendDnValue(m_scratch, name);
            m_scratch.push_back(',');
        }
        m_scratch.append("mail=");
        ldif::appendDnValue(m_scratch, mail);
        appendLine("member", m_scratch);
        return true;
    }
    if (e.kind == KindListBegin) {
        appendLine("dn", "cn=" + ldif::escapeDnValue(name), true);
        m_text.append("objectclass: groupOfNames\n");
        appendLine("cn", name);
        m_inGroup = true;
        return true;
    }
    // Folders cannot be held in LDIF; their markers are not contacts.
    if (e.kind == KindFolderBegin || e.kind == KindFolderEnd || e.kind == KindListEnd) return true;

    m_scratch.assign("cn=");
    ldif::appendDnValue(m_scratch, name);
    m_scratch.append(",mail=");
    ldif::appendDnValue(m_scratch, mail);
    appendLine("dn", m_scratch, true);
    // Thunderbird's classes, right after the dn as it writes them: abook joins records into
    // others when the classes come last or when only top and person follow the dn.
    m_text.append(
        "objectclass: top\nobjectclass: person\nobjectclass: organizationalPerson\n"
        "objectclass: inetOrgPerson\nobjectclass: mozillaAbPersonAlpha\n");
    appendLine("cn", name);
    appendLine("xmozillanickname", e[Field::Nickname]);
    appendLine("mail", mail);
    if (!e[Field::Organization].empty()) appendLine("o", e[Field::Organization], true);
    appendIfSet("mozillaHomeLocalityName", e, Field::HomeCity);
    appendIfSet("locality", e, Field::BusinessCity);
    appendIfSet("givenname", e, Field::FirstName);
    appendIfSet("sn", e, Field::LastName);
    appendIfSet("mozillaHomeState", e, Field::HomeState);
    appendIfSet("st", e, Field::BusinessState);
    appendIfSet("description", e, Field::Notes);
    appendIfSet("title", e, Field::JobTitle);
    appendIfSet("mozillaHomeStreet", e, Field::HomeStreet);
    appendIfSet("streetaddress", e, Field::BusinessStreet);
    appendIfSet("mozillaHomePostalCode", e, Field::HomePostalCode);
    appendIfSet("postalcode", e, Field::BusinessPostalCode);
    appendIfSet("mozillaHomeCountryName", e, Field::HomeCountry);
    appendIfSet("countryname", e, Field::BusinessCountry);
    appendIfSet("telephonenumber", e, Field::BusinessPhone);
    appendIfSet("homephone", e, Field::HomePhone);
    appendIfSet("facsimiletelephonenumber", e, Field::BusinessFax);
    appendIfSet("homeFacsimileTelephoneNumber", e, Field::HomeFax);
    appendIfSet("pagerphone", e, Field::Pager);
    appendIfSet("cellphone", e, Field::CellularPhone);
    appendIfSet("ou", e, Field::Department);
    appendIfSet("homeurl", e, Field::HomeWebPage);
    appendIfSet("workurl", e, Field::BusinessWebPage);
    appendExtras(e);
    m_text.push_back('\n');
    return true;
}

void ToLDIF::appendExtras(const Entry& e) {
    for (const Extra& x : e.extras) {
        if (x.kind == ExtraKind::Email) appendLine("mozillaSecondEmail", x.value);
    }
    int year = 0;
    int month = 0;
    int day = 0;
    if (!parseExtraDate(e.extra(ExtraKind::Birthday), year, month, day)) return;
    if (year > 0) appendLine("birthyear", std::to_string(year));
    appendLine("birthmonth", std::to_string(month));
    appendLine("birthday", std::to_string(day));
}

void ToLDIF::end() {
    m_run->trace(0, "Returning the built tstring to save", "Debug");
}

namespace {

Sniff sniffLdif(std::string_view head) {
    std::string_view line = sniff::firstContentLine(head);
    while (line.starts_with("#")) line = sniff::nextContentLine(head, line);
    if (sniff::startsWithNoCase(line, "version:")) line = sniff::nextContentLine(head, line);
    if (sniff::startsWithNoCase(line, "dn:")) return Sniff::Yes;
    return sniff::containsNoCase(head, "\ndn:") ? Sniff::Maybe : Sniff::No;
}

}  // namespace

const FormatInfo& ldifFormat() {
    static const FormatInfo info = {
        .id = "ldif",
        .displayName = "LDIF",
        .extensions = {"ldif"},
        .reads = true,
        .writes = true,
        .holdsLists = true,
        .mergesExisting = true,
        .readFields = ldif::supportedFields(),
        .writeFields = ldif::supportedFields(),
        .readExtras = ldif::supportedExtras(),
        .writeExtras = ldif::supportedExtras(),
        .sniff = &sniffLdif,
        .reader = &iterators::taggedReader<iterators::IterFile::Ldif>,
        .writer = &writerOfFile<ToLDIF>,
        .openFilters = {{"LDAP files (*.ldif)", "*.ldif", 3}},
        .saveFilters = {{"LDAP files (*.ldif)", "*.ldif", 3}},
        .docsPage = "ldif.md",
    };
    return info;
}

}  // namespace vesk

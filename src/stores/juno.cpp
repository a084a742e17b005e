#include "stores/juno.h"

#include <cstdint>

#include "parsing/sniff_text.h"
#include "parsing/tagged_file.h"

namespace vesk {

namespace {

/// A value must stay on its line: a line break would end the record.
std::string oneLine(const std::string& value, std::string_view lineBreak) {
    if (value.find_first_of("\r\n") == std::string::npos) return value;
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\r' || value[i] == '\n') {
            if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n') ++i;
            out.append(lineBreak);
        } else {
            out.push_back(value[i]);
        }
    }
    return out;
}

}  // namespace

ToNV::ToNV(RunContext& run, std::string fileName) : ToFile(run, std::move(fileName)) {
    takesViews = true;
}

bool ToNV::writeView(const Entry& e) {
    m_text.append("Type:Entry\nName:");
    m_text.append(oneLine(e[Field::FullName], " "));
    m_text.append("\nEmail:");
    m_text.append(oneLine(e[Field::Email], " "));
    m_text.append("\nAlias:");
    m_text.append(oneLine(e[Field::Nickname], " "));
    m_text.push_back('\n');

    const std::string& street = e[Field::HomeStreet];
    const std::string& city = e[Field::HomeCity];
    const std::string& state = e[Field::HomeState];
    const std::string& zip = e[Field::HomePostalCode];
    if (!street.empty() || !city.empty() || !state.empty() || !zip.empty()) {
        std::string address;
        // The lines of a street become Juno's own line separator.
        if (!street.empty()) address += oneLine(street, "^^") + "^^";
        if (!city.empty()) address += oneLine(city, " ") + " ";
        if (!state.empty()) address += oneLine(state, " ");
        if (!city.empty() || !state.empty()) address += "^^";
        if (!zip.empty()) address += oneLine(zip, " ");
        m_text.append("Address:");
        m_text.append(address);
        m_text.push_back('\n');
    }
    // Juno keeps the time in 32 bits.
    const auto time32 = static_cast<std::int32_t>(
        static_cast<std::uint32_t>(static_cast<std::uint64_t>(e.revisionTime) & 0xFFFFFFFFu));
    m_text.append("Time:");
    m_text.append(std::to_string(time32));
    m_text.append("\n\n");
    return true;
}

namespace {

Sniff sniffJuno(std::string_view head) {
    const std::string_view line = sniff::firstContentLine(head);
    if (!line.starts_with("Type:")) return Sniff::No;
    return sniff::containsNoCase(head, "\nName:") || sniff::containsNoCase(head, "\nEmail:")
               ? Sniff::Yes
               : Sniff::Maybe;
}

}  // namespace

const FormatInfo& junoFormat() {
    static const FormatInfo info = {
        .id = "juno",
        .displayName = "Juno address book",
        .extensions = {"nv"},
        .reads = true,
        .writes = true,
        .mergesExisting = true,
        .readFields = fieldsOf({Field::FullName, Field::Email, Field::Nickname, Field::HomeStreet,
                                Field::HomeCity, Field::HomeState, Field::HomePostalCode,
                                Field::HomePhone, Field::CellularPhone}),
        .writeFields = fieldsOf({Field::FullName, Field::Email, Field::Nickname}),
        .sniff = &sniffJuno,
        .reader = &iterators::taggedReader<iterators::IterFile::Juno>,
        .writer = &writerOfFile<ToNV>,
        .openFilters = {{"Juno files (*.nv)", "*.nv", 7}},
        .saveFilters = {{"Juno files (*.nv)", "*.nv", 7}},
        .docsPage = "juno.md",
    };
    return info;
}

}  // namespace vesk

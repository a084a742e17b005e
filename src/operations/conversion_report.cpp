#include "operations/conversion_report.h"

#include <algorithm>
#include <iterator>
#include <ostream>

namespace vesk {

namespace {

const std::string& labelOf(const Entry& e) {
    for (const Field f : {Field::FullName, Field::Email, Field::Nickname}) {
        if (!e[f].empty()) return e[f];
    }
    static const std::string none = "(no name)";
    return none;
}

bool singleValued(ExtraKind kind) {
    return kind == ExtraKind::Birthday || kind == ExtraKind::Anniversary || kind == ExtraKind::Uid;
}

/// A name the book completes again from the names the destination keeps (First and Last Name
/// from the Full Name, or the other way round) is no loss.
bool completedAgain(const Entry& e, int field, const FieldMask& written) {
    const Field names[] = {Field::FullName, Field::FirstName, Field::LastName};
    if (std::none_of(std::begin(names), std::end(names),
                     [&](Field f) { return static_cast<int>(f) == field; })) {
        return false;
    }
    Entry t;
    for (const Field f : names) {
        if (written.test(static_cast<std::size_t>(f))) t[f] = e[f];
    }
    t.completeNames();
    return t.at(field) == e.at(field);
}

bool writableHead(const std::string& name) {
    return !name.empty() && name.find_first_of(":\r\n") == std::string::npos;
}

class Reporter {
  public:
    Reporter(const FormatInfo& destination, const ReportSink& sink)
        : m_to(destination), m_sink(sink) {}

    void walk(NewAdbook& book, const std::string& path) {
        for (int i = 0; i < book.entryCount(); ++i) contact(*book.entryPtr(i));
        m_report.membersUnresolved += book.membersAdded();
        for (int i = 0; i < book.listCount(); ++i) list(*book.listAt(i));
        for (int i = 0; i < book.folderCount(); ++i) {
            NewAdbook& folder = *book.folder(i);
            const std::string inner = path + "\\" + folder.name();
            if (!m_to.holdsFolders) {
                ++m_report.foldersFlattened;
                event(inner, "Folder", folder.name(), false,
                      "this format holds no folders: its contacts were written without it");
            }
            walk(folder, inner);
        }
    }

    ConversionReport take() { return std::move(m_report); }

  private:
    void contact(const Entry& stored) {
        const Entry e = stored.maskedFields();
        bool anyKept = false;
        for (int i = 0; i < kFieldCount; ++i) {
            const std::string& v = e.at(i);
            if (v.empty()) continue;
            if (m_to.writeFields.test(static_cast<std::size_t>(i))) {
                anyKept = true;
            } else if (!completedAgain(e, i, m_to.writeFields)) {
                drop(e, fieldName(i), v, "this format has no place for it");
            }
        }
        int emails = 0;
        ExtraMask seen;
        for (const Extra& x : e.extras) {
            const std::string& name = extraKindName(x.kind);
            const auto bit = static_cast<std::size_t>(x.kind);
            const std::string reason = whyNot(x, emails, seen.test(bit));
            seen.set(bit);
            if (x.kind == ExtraKind::Email) ++emails;
            if (reason.empty()) {
                anyKept = true;
            } else {
                drop(e, x.kind == ExtraKind::Property ? x.name : name, x.value, reason,
                     x.kind == ExtraKind::Property ? name : std::string());
            }
        }
        if (!anyKept) {
            ++m_report.contactsSkipped;
            event(labelOf(e), "Contact", {}, false, "it holds nothing this format keeps");
        }
    }

    /// Why the extra cannot be written, or "".
    std::string whyNot(const Extra& x, int emailsBefore, bool kindSeen) const {
        if (!m_to.writeExtras.test(static_cast<std::size_t>(x.kind))) {
            return "this format has no place for it";
        }
        if (x.kind == ExtraKind::Email && m_to.extraEmailLimit >= 0 &&
            emailsBefore >= m_to.extraEmailLimit) {
            return "this format keeps only " + std::to_string(m_to.extraEmailLimit) +
                   " further e-mail address(es)";
        }
        if (singleValued(x.kind) && kindSeen && !m_to.writeExtras.all()) {
            return "this format keeps only one";
        }
        int y = 0;
        int m = 0;
        int d = 0;
        const bool date = x.kind == ExtraKind::Birthday || x.kind == ExtraKind::Anniversary;
        if (date && !m_to.datesAsText && !parseExtraDate(x.value, y, m, d)) {
            return "this format keeps only dates, and this is none";
        }
        if (x.kind == ExtraKind::Property && !writableHead(x.name)) {
            return "its name cannot be written";
        }
        return {};
    }

    void list(DistList& l) {
        if (m_to.holdsLists) return;
        ++m_report.listsDropped;
        event(l.name(), "List", l.name(), false,
              "this format holds no lists (its members are written as contacts)");
        for (const Entry* member : l.members()) {
            ++m_report.membersDropped;
            event(l.name(), "List member", labelOf(*member), false, "this format holds no lists");
        }
    }

    void drop(const Entry& e, const std::string& field, const std::string& value,
              const std::string& reason, const std::string& counted = {}) {
        ++m_report.valuesDropped;
        ++m_report.droppedByField[counted.empty() ? field : counted];
        event(labelOf(e), field, value, false, reason);
    }

    void event(const std::string& entry, const std::string& field, const std::string& value,
               bool kept, const std::string& reason) {
        if (m_sink) m_sink(ReportEvent{entry, field, value, kept, reason});
    }

    const FormatInfo& m_to;
    const ReportSink& m_sink;
    ConversionReport m_report;
};

void appendJsonString(std::string& out, const std::string& s) {
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    for (const char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (c == '\n') {
            out.append("\\n");
        } else if (c == '\r') {
            out.append("\\r");
        } else if (c == '\t') {
            out.append("\\t");
        } else if (b < 0x20) {
            out.append("\\u00");
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 15]);
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
}

}  // namespace

ConversionReport reportFor(NewAdbook& book, const FormatInfo& destination, const ReportSink& sink) {
    Reporter r(destination, sink);
    r.walk(book, {});
    return r.take();
}

std::vector<std::string> reportSummary(const ConversionReport& r) {
    std::vector<std::string> lines;
    if (r.valuesDropped > 0) {
        std::string line =
            std::to_string(r.valuesDropped) + " value(s) this format cannot hold were left out:";
        bool first = true;
        for (const auto& [field, count] : r.droppedByField) {
            line += (first ? " " : ", ") + field + " " + std::to_string(count);
            first = false;
        }
        lines.push_back(line);
    }
    if (r.listsDropped > 0) {
        lines.push_back("this format holds no lists: " + std::to_string(r.listsDropped) +
                        " list(s) with " + std::to_string(r.membersDropped) +
                        " member(s) were left out (the contacts themselves were written)");
    }
    if (r.contactsSkipped > 0) {
        lines.push_back(std::to_string(r.contactsSkipped) +
                        " contact(s) hold nothing this format keeps and were written empty or "
                        "not at all");
    }
    return lines;
}

void writeJsonLine(std::ostream& out, const ReportEvent& e) {
    std::string line = "{\"entry\":";
    appendJsonString(line, e.entry);
    line += ",\"field\":";
    appendJsonString(line, e.field);
    line += ",\"value\":";
    appendJsonString(line, e.value);
    line += e.kept ? ",\"status\":\"kept\"" : ",\"status\":\"dropped\"";
    line += ",\"reason\":";
    appendJsonString(line, e.reason);
    line += "}\n";
    out << line;
}

}  // namespace vesk

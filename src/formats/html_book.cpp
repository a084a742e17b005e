#include "formats/html_book.h"

#include "parsing/html_text.h"
#include "parsing/sniff_text.h"
#include "parsing/tagged_file.h"

namespace vesk {

ToHTML::ToHTML(RunContext& run, std::string fileName) : ToFile(run, std::move(fileName)) {
    takesViews = true;
    m_text +=
        "<!DOCTYPE NETSCAPE-Addressbook-file-1>\n"
        "<!-- This is an automatically generated file.\n"
        "It will be read and overwritten.\n"
        "Do Not Edit! -->\n"
        "<TITLE>Address Book</TITLE>\n"
        "<H1>Address Book</H1>\n"
        "<DL><p>\n";
}

bool ToHTML::writeView(const Entry& e) {
    m_text.append("\n    <DT><A HREF=\"mailto:");
    m_text.append(html::escape(e[Field::Email]));
    m_text.append("\" ALIASID=\"");
    m_text.append(std::to_string(m_counter));
    m_text.push_back('"');
    if (!e[Field::Nickname].empty()) {
        m_text.append(" NICKNAME=\"");
        m_text.append(html::escape(e[Field::Nickname]));
        m_text.push_back('"');
    }
    m_text.push_back('>');
    m_text.append(html::escape(e[Field::FullName]));
    m_text.append("</A><DD>");
    // A description is one line in this file; its line breaks travel as <BR>.
    const std::string notes = html::escape(e[Field::Notes]);
    for (std::size_t i = 0; i < notes.size(); ++i) {
        if (notes[i] == '\r') continue;
        if (notes[i] == '\n') {
            m_text.append("<BR>");
        } else {
            m_text.push_back(notes[i]);
        }
    }
    m_text.push_back('\n');
    ++m_counter;
    return true;
}

void ToHTML::end() {
    m_text.append("\n</DL><P>");
}

namespace {

Sniff sniffHtmlBook(std::string_view head) {
    if (sniff::containsNoCase(head, "<!DOCTYPE NETSCAPE-Addressbook-file")) return Sniff::Yes;
    const bool html = sniff::containsNoCase(head, "<DT>") || sniff::containsNoCase(head, "<DL>");
    return html && sniff::containsNoCase(head, "mailto:") ? Sniff::Maybe : Sniff::No;
}

}  // namespace

const FormatInfo& htmlBookFormat() {
    static const FormatInfo info = {
        .id = "html_book",
        .displayName = "Netscape 3 HTML address book",
        .extensions = {"htm", "html"},
        .reads = true,
        .writes = true,
        .mergesExisting = true,
        .readFields = fieldsOf({Field::FullName, Field::Email, Field::Nickname, Field::Notes}),
        .writeFields = fieldsOf({Field::FullName, Field::Email, Field::Nickname, Field::Notes}),
        .sniff = &sniffHtmlBook,
        .reader = &iterators::taggedReader<iterators::IterFile::Html>,
        .writer = &writerOfFile<ToHTML>,
        .openFilters = {{"Netscape 3 files (*.htm)", "*.htm;*.html", 2}},
        .saveFilters = {{"Netscape 3 files (*.htm)", "*.htm;*.html", 2}},
        .docsPage = "html_book.md",
    };
    return info;
}

}  // namespace vesk

#include "registry/formats.h"

#include "formats/csv_format.h"
#include "formats/html_book.h"
#include "formats/ini_book.h"
#include "formats/kynt.h"
#include "formats/ldif.h"
#include "formats/vcard.h"
#include "formats/xml_contacts.h"
#include "registry/registry.h"
#include "stores/juno.h"
#include "stores/nickname_text.h"
#include "stores/outlook.h"
#include "stores/palm.h"
#include "stores/simeon.h"
#include "stores/wab.h"

namespace vesk {

namespace {

// Formats that are known and not built yet: they claim their files, so that a user hears the
// format's name instead of "unknown". A format that lands moves its record into its own file
// pair and keeps its line below.
const FormatInfo kPegasusBook = {.id = "pegasus_book",
                                 .displayName = "Pegasus Mail address book",
                                 .extensions = {"pmr"},
                                 .reads = true,
                                 .writes = true};
Sniff sniffMork(std::string_view head) {
    return head.starts_with("// <!-- <mdb:mork") ? Sniff::Yes : Sniff::No;
}
const FormatInfo kMork = {.id = "mork",
                          .displayName = "Mork address book",
                          .extensions = {"mab"},
                          .reads = true,
                          .writes = true,
                          .sniff = &sniffMork,
                          .openFilters = {{"Mozilla/Netscape 6 files (*.mab)", "*.mab", 8}},
                          .saveFilters = {{"Netscape 6/7 files (*.mab)", "*.mab", 6}}};
Sniff sniffOpera(std::string_view head) {
    return head.starts_with("Opera Hotlist version") ? Sniff::Yes : Sniff::No;
}
const FormatInfo kOpera = {.id = "opera",
                           .displayName = "Opera hotlist",
                           .extensions = {"adr"},
                           .applications = {Application::Opera},
                           .reads = true,
                           .writes = true,
                           .sniff = &sniffOpera};
// A format does not include another: the Agent reader gets its list reader from here.
std::unique_ptr<IterBase> agentListReader(RunContext& run, std::string name, std::string members) {
    return std::make_unique<iterators::IterTXT>(run, std::string(), iterators::IterTXT::kModeGiven,
                                                std::move(name), std::move(members));
}
std::unique_ptr<IterBase> readAgentXml(const FormatArgs& a) {
    return std::make_unique<iterators::IterXML>(a.run, a.fileName, iterators::IterXML::kAgent,
                                                &agentListReader);
}
const FormatInfo kAgentXml = [] {
    FormatInfo info = agentXmlFormat();
    info.reader = &readAgentXml;
    return info;
}();

}  // namespace

const std::vector<const FormatInfo*>& builtInFormats() {
    // One line a format. An application number selects a row before any row after it can match
    // by extension, so the order decides which wins (LDIF's .ldif before Eudora's number).
    static const std::vector<const FormatInfo*> table = {
        &wabFormat(),
        &outlookFormat(),
        &simeonFormat(),
        &ldifFormat(),
        &eudoraFormat(),
        &vcardFormat(),
        &kyntFormat(),
        &plainTextFormat(),
        &pegasusListFormat(),
        &kPegasusBook,
        &csvFormat(),
        &abxFormat(),
        &kMork,
        &palmFormat(),
        &junoFormat(),
        &pineFormat(),
        &kOpera,
        &kAgentXml,
        &windowsContactFormat(),
        &htmlBookFormat(),
        &iniBookFormat(),
    };
    return table;
}

}  // namespace vesk

namespace vesk {

const Registry& Registry::builtIn() {
    static const Registry registry(builtInFormats());
    return registry;
}

}  // namespace vesk

#include "registry/formats.h"

#include "formats/csv_format.h"
#include "formats/html_book.h"
#include "formats/ini_book.h"
#include "formats/kynt.h"
#include "formats/ldif.h"
#include "formats/vcard.h"
#include "formats/xml_contacts.h"
#include "registry/registry.h"
#include "stores/abook_sqlite.h"
#include "stores/juno.h"
#include "stores/mork.h"
#include "stores/nickname_text.h"
#include "stores/opera.h"
#include "stores/outlook.h"
#include "stores/palm.h"
#include "stores/pegasus_book.h"
#include "stores/simeon.h"
#include "stores/wab.h"

namespace vesk {

namespace {

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
        &wabFormat(),         &outlookFormat(),
        &simeonFormat(),      &ldifFormat(),
        &eudoraFormat(),      &vcardFormat(),
        &vcard21Format(),     &vcard40Format(),
        &kyntFormat(),        &plainTextFormat(),
        &pegasusListFormat(), &pegasusBookFormat(),
        &csvFormat(),         &abxFormat(),
        &morkFormat(),        &abookSqliteFormat(),
        &palmFormat(),        &junoFormat(),
        &pineFormat(),        &operaFormat(),
        &kAgentXml,           &windowsContactFormat(),
        &htmlBookFormat(),    &iniBookFormat(),
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

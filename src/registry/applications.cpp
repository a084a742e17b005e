#include "registry/applications.h"

namespace vesk {

namespace {

using A = Application;
using S = SourceRoute;
using D = DestinationRoute;
using F = SourceFile;

}  // namespace

const std::vector<ApplicationInfo>& applications() {
    // clang-format off
    static const std::vector<ApplicationInfo> table = {
        {A::PlainText, "Plain text address list", ""},
        {A::Netscape3, "Netscape 3.x", "ns3", true, S::ConfiguredFile, D::ConfiguredFile, F::None, "address.htm"},
        {A::Netscape4, "Netscape 4.x", "ns4", true, S::ExternalExport, D::ExternalImport},
        {A::PegasusList, "Pegasus Mail", ""},
        {A::PegasusBook, "Pegasus Mail", "", true},
        {A::Csv, "Comma Separated Values (CSV) File", ""},
        {A::Abx, "Corel Address Book 8.x (ABX) File", ""},
        {A::Eudora, "Eudora", "eud", true, S::FileAsApp, D::FileAsApp, F::Required},
        {A::Juno, "Juno", "", true},
        {A::Mozilla, "Mozilla", "", true},
        {A::Pine, "Pine Address Book", "pin", true, S::Store, D::File, F::Required},
        {A::Simeon, "Simeon/Execmail exported file", "sim", false, S::KeptFile, D::File, F::Optional},
        {A::OutlookExpress, "Outlook Express", "oe", true, S::Store, D::Store, F::Required},
        {A::MailWarrior, "Mail Warrior", "", true},
        {A::Becky, "Becky!", "", true},
        {A::PalmDesktop, "Palm Desktop", "", true},
        {A::Netscape6, "Netscape 6.x/7.x", "", true},
        {A::Outlook, "MS Outlook", "ol", true, S::Store, D::Store, F::Optional},
        {A::Opera, "Opera", "op", true, S::KeptFile, D::Store, F::Optional},
        {A::ForteAgent, "Forte Agent", "agt", true, S::FileAsApp, D::FileAsApp, F::Required},
        {A::Thunderbird, "Thunderbird", "", true},
        {A::Other, "Other", "", false, S::File, D::File, F::Required},
    };
    // clang-format on
    return table;
}

const ApplicationInfo* applicationNamed(std::string_view nameOrAlias) {
    if (nameOrAlias.empty()) return nullptr;
    for (const ApplicationInfo& a : applications()) {
        if (a.name == nameOrAlias || a.alias == nameOrAlias) return &a;
    }
    return nullptr;
}

const ApplicationInfo* applicationOf(Application number) {
    for (const ApplicationInfo& a : applications()) {
        if (a.number == number) return &a;
    }
    return nullptr;
}

int FormatNumberOf(std::string_view name, std::string_view filePath) {
    if (name == "Pegasus Mail") {
        return filePath.ends_with("pml") || filePath.ends_with("PML") ? 3 : 4;
    }
    for (const ApplicationInfo& a : applications()) {
        if (name == a.name) return toNumber(a.number);
    }
    return -1;
}

std::string FormatName(int number, bool ldifVariant) {
    if (number == toNumber(Application::Netscape4) && ldifVariant) return "LDAP/LDIF File";
    // "Other" is a choice of the wizard, not an entry of the list.
    if (number == toNumber(Application::Other)) return {};
    const ApplicationInfo* a = applicationOf(static_cast<Application>(number));
    return a ? std::string(a->name) : std::string();
}

bool hasPathSlot(int number) {
    if (number == 22) return true;  // a slot that nothing ever fills
    const ApplicationInfo* a = applicationOf(static_cast<Application>(number));
    return a && a->pathSlot;
}

}  // namespace vesk

#include "import_shapes.h"

namespace vesk::bench {

namespace {

std::string card(std::size_t i) {
    const std::string n = std::to_string(i);
    return "BEGIN:VCARD\nVERSION:2.1\nN:Person" + n + ";Ann\nFN:Ann Person" + n +
           "\nEMAIL;INTERNET:ann" + n + "@example.org\nEND:VCARD\n";
}

std::string ldifContact(std::size_t i) {
    const std::string n = std::to_string(i);
    return "dn: cn=Ann Person" + n + ",mail=ann" + n +
           "@example.org\nobjectclass: top\nobjectclass: person\ncn: Ann Person" + n +
           "\ngivenName: Ann\nsn: Person" + n + "\nmail: ann" + n + "@example.org\n\n";
}

std::string ldifMember(std::size_t i) {
    const std::string n = std::to_string(i);
    return "member: cn=Ann Person" + n + ",mail=ann" + n + "@example.org\n";
}

std::string ldifGroupHead(const std::string& name) {
    return "dn: cn=" + name + "\nobjectclass: top\nobjectclass: groupOfNames\ncn: " + name + "\n";
}

std::string archive(ImportShape shape, std::size_t count) {
    std::string s = "<?xml version=\"1.0\"?>\n<!DOCTYPE adbook>\n<adbook>\n";
    s.reserve(count * 160);
    for (std::size_t i = 0; i < count; ++i) {
        if (shape == ImportShape::ArchiveFolders || shape == ImportShape::ArchiveSameFolder) {
            const std::string name =
                shape == ImportShape::ArchiveFolders ? "F" + std::to_string(i) : "f";
            s += "<folder name=\"" + name + "\">\n" + card(i) + "</folder>\n";
        } else {
            s += card(i);
        }
    }
    if (shape == ImportShape::ArchiveLists) {
        for (std::size_t i = 0; i < count; ++i) {
            s += "<list name=\"L" + std::to_string(i) + "\">\n" + card(i) + "</list>\n";
        }
    } else if (shape == ImportShape::ArchiveOneLargeList) {
        s += "<list name=\"Everyone\">\n";
        for (std::size_t i = 0; i < count; ++i) s += card(i);
        s += "</list>\n";
    }
    return s + "</adbook>\n";
}

std::string ldif(ImportShape shape, std::size_t count) {
    std::string s;
    s.reserve(count * 260);
    for (std::size_t i = 0; i < count; ++i) s += ldifContact(i);
    if (shape == ImportShape::LdifGroups) {
        for (std::size_t i = 0; i < count; ++i) {
            s += ldifGroupHead("G" + std::to_string(i)) + ldifMember(i) + "\n";
        }
    } else {
        s += ldifGroupHead("Everyone");
        for (std::size_t i = 0; i < count; ++i) s += ldifMember(i);
        s += "\n";
    }
    return s;
}

}  // namespace

const std::vector<ShapeInfo>& importShapes() {
    static const std::vector<ShapeInfo> shapes = {
        {ImportShape::ArchiveFolders, "archive_folders", ".kynt"},
        {ImportShape::ArchiveSameFolder, "archive_same_folder", ".kynt"},
        {ImportShape::ArchiveLists, "archive_lists", ".kynt"},
        {ImportShape::LdifGroups, "ldif_groups", ".ldif"},
        {ImportShape::ArchiveOneLargeList, "archive_one_list", ".kynt"},
        {ImportShape::LdifOneLargeGroup, "ldif_one_group", ".ldif"},
    };
    return shapes;
}

std::string shapeText(ImportShape shape, std::size_t count) {
    if (shape == ImportShape::LdifGroups || shape == ImportShape::LdifOneLargeGroup) {
        return ldif(shape, count);
    }
    return archive(shape, count);
}

}  // namespace vesk::bench

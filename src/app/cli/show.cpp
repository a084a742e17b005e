#include "app/cli/show.h"

#include <algorithm>
#include <ostream>

#include "model/entry.h"
#include "operations/selection.h"

namespace vesk::cli {

namespace {

constexpr std::size_t kMaxNameWidth = 40;

/// Characters, not bytes: names are UTF-8.
std::size_t displayWidth(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::size_t widestName(Adbook& book) {
    std::size_t widest = 4;  // "Name"
    for (int i = 0; i < book.entryCount(); ++i) {
        widest = std::max(widest, displayWidth(book.entryAt(i)[Field::FullName]));
    }
    for (int i = 0; i < book.folderCount(); ++i) {
        if (Adbook* f = book.folderAt(i)) widest = std::max(widest, widestName(*f));
    }
    return std::min(widest, kMaxNameWidth);
}

struct Table {
    std::ostream& out;
    std::size_t nameWidth;

    void row(const std::string& indent, const std::string& name, const std::string& email) {
        out << indent << name;
        const std::size_t width = displayWidth(name);
        if (!email.empty()) {
            out << std::string(width < nameWidth ? nameWidth - width : 0, ' ') << "  " << email;
        }
        out << "\n";
    }

    void entries(Adbook& book, const std::string& indent) {
        for (int i = 0; i < book.entryCount(); ++i) {
            const Entry e = book.entryAt(i);
            row(indent, e[Field::FullName], e[Field::Email]);
        }
    }

    void tree(Adbook& book, const std::string& indent) {
        entries(book, indent);
        for (int i = 0; i < book.folderCount(); ++i) {
            Adbook* folder = book.folderAt(i);
            if (!folder) continue;
            out << indent << "Folder \"" << folder->name() << "\": " << folder->entryCount()
                << " contact(s)\n";
            tree(*folder, indent + "  ");
        }
        for (int i = 0; i < book.listCount(); ++i) {
            Adbook* list = book.listAt(i);
            if (!list) continue;
            out << indent << "List \"" << list->name() << "\": " << list->entryCount()
                << " member(s)\n";
            entries(*list, indent + "  ");
        }
    }
};

}  // namespace

void printBook(NewAdbook& book, const std::string& title, std::ostream& out) {
    const TreeCounts c = countTree(book);
    out << title << ": " << c.entries << " contact(s), " << c.folders << " folder(s), " << c.lists
        << " list(s)\n";
    Table table{out, widestName(book)};
    table.row("", "Name", "E-mail");
    table.tree(book, "");
}

}  // namespace vesk::cli

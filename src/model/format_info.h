// What the registry knows of one format: its names, the files and applications it serves, what
// it can hold, how to recognise it by its first bytes, and how to make its reader and writer.
// Each format's file pair defines its own record; registry/formats.cpp lists them in order.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "model/entry.h"
#include "model/iter_base.h"
#include "platform/run_context.h"

namespace vesk {

/// The application numbers stored in settings and automation tasks; the values never change.
enum class Application : int {
    None = -1,
    PlainText = 0,
    Netscape3 = 1,
    Netscape4 = 2,
    PegasusList = 3,
    PegasusBook = 4,
    Csv = 5,
    Abx = 6,
    Eudora = 8,
    Juno = 9,
    Mozilla = 10,
    Pine = 11,
    Simeon = 12,
    OutlookExpress = 13,
    MailWarrior = 14,
    Becky = 15,
    PalmDesktop = 16,
    Netscape6 = 17,
    Outlook = 18,
    Opera = 19,
    ForteAgent = 21,
    Thunderbird = 23,
    Other = 100,
};

constexpr int toNumber(Application a) {
    return static_cast<int>(a);
}

/// How sure a format is that some bytes are its own.
enum class Sniff { No, Maybe, Yes };

/// What a reader or writer maker is given.
struct FormatArgs {
    RunContext& run;
    std::string fileName;
    /// The file's name without folder and extension (titles of Pegasus lists, Opera files).
    std::string baseName;
    Application application = Application::None;
    /// A folder inside the file the writer goes into (Opera's hotlist); empty: the whole file.
    std::string folderPath = {};
};

using ReaderMaker = std::unique_ptr<IterBase> (*)(const FormatArgs&);
using WriterMaker = std::unique_ptr<ToBase> (*)(const FormatArgs&);
/// Looks at the first bytes of a file (already decoded to UTF-8 when they were text).
using Sniffer = Sniff (*)(std::string_view head);

/// One entry of a file dialog's type list. `order` places it among the other formats' filters
/// (the lists keep the order users know); a new format may leave it at the end.
struct DialogFilter {
    std::string_view description = {};
    std::string_view pattern = {};  ///< "*.pml;*.pmr"
    int order = 1000;
};

struct FormatInfo {
    std::string_view id = {};           ///< lower_snake, as `--from`/`--to` and the docs name it
    std::string_view displayName = {};  ///< "vCard"
    std::vector<std::string_view> extensions = {};  ///< lower case, without the dot
    /// Applications whose number alone selects this format, whatever the file's extension.
    std::vector<Application> applications = {};
    /// An application that never selects this format even by extension (Eudora's .txt).
    Application notFor = Application::None;
    /// The format can be read (written), built or not: a row that decides for a file but has
    /// no maker says the format is known and not built yet.
    bool reads = false;
    bool writes = false;
    /// False when the store cannot be written on this system: its writer only says so.
    bool writesHere = true;
    bool holdsFolders = false;
    bool holdsLists = false;
    /// Saving into an existing file merges with what it holds.
    bool mergesExisting = false;
    /// Other formats use the extension too (.txt, .csv): when another format recognises the
    /// file's content for sure and this one does not, the content decides.
    bool sharedExtension = false;
    /// The fields a reader fills and a writer keeps.
    FieldMask readFields = {};
    FieldMask writeFields = {};
    /// The kinds of extra values (beyond the 34 fields) a reader fills and a writer keeps.
    ExtraMask readExtras = {};
    ExtraMask writeExtras = {};
    /// How many further e-mail addresses the writer keeps; -1: every one.
    int extraEmailLimit = -1;
    /// A birthday or anniversary that is no date is kept as written (else only dates are).
    bool datesAsText = false;
    /// nullptr: the format cannot be told by content (it is never picked by sniffing).
    Sniffer sniff = nullptr;
    ReaderMaker reader = nullptr;
    WriterMaker writer = nullptr;
    std::vector<DialogFilter> openFilters = {};
    std::vector<DialogFilter> saveFilters = {};
    /// Its help page in docs/formats/ ("vcard.md"); the docs index links every built format's.
    std::string_view docsPage = {};

    bool hasExtension(std::string_view lowerExtension) const;
    bool serves(Application a) const;
};

/// A mask with exactly the given fields set.
FieldMask fieldsOf(std::initializer_list<Field> fields);
/// Every field.
FieldMask allFields();

/// Makers for the common constructor shapes, so that a record names its class in one line.
template <class R>
std::unique_ptr<IterBase> readerOfFile(const FormatArgs& a) {
    return std::make_unique<R>(a.run, a.fileName);
}
template <class W>
std::unique_ptr<ToBase> writerOfFile(const FormatArgs& a) {
    return std::make_unique<W>(a.run, a.fileName);
}

}  // namespace vesk

// The conversion report, and the promise it keeps for every writer of the registry: a book
// with extra values, accents, line breaks, separators, a list and a folder goes through the
// writer and back through its reader, and every value either comes back or is named in the
// report as left out.
#include "operations/conversion_report.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "model/adbook.h"
#include "operations/selection.h"
#include "platform/prompt.h"
#include "platform/settings.h"
#include "registry/registry.h"
#include "support/temp_dir.h"

namespace vesk {
namespace {

using testing::slurp;

/// A contact with every field filled: accents, Cyrillic, line breaks and the separators of
/// every format, and one of each kind of extra value.
Entry generatedContact(const std::string& name, const std::string& mail) {
    Entry e;
    for (int i = 0; i < kFieldCount; ++i) e.at(i) = "V" + std::to_string(i) + " \xC3\xA9t\xC3\xA9";
    e[Field::FullName] = name;
    e[Field::Email] = mail;
    e[Field::Nickname] = "nick-" + mail.substr(0, mail.find('@'));  // list members go by it
    e[Field::FirstName] = name.substr(0, name.find(' '));
    e[Field::LastName] = name.substr(name.find(' ') + 1);
    e[Field::Notes] = "line one\nline two; with \"quotes\", commas, | bars & <angles> \\ =";
    e[Field::Organization] = "Acme; Sons, Ltd.";
    e[Field::HomeStreet] =
        "Hauptstra\xC3\x9F"
        "e 1\nHinterhaus";
    e.revisionTime = 1700000000;
    e.addExtra(ExtraKind::Email, "second." + mail);
    e.addExtra(ExtraKind::Email, "third." + mail);
    e.addExtra(ExtraKind::Birthday, "1980-05-17");
    e.addExtra(ExtraKind::Anniversary, "--06-21");
    e.addExtra(ExtraKind::Category, "Friends, old");
    e.addExtra(ExtraKind::Category, "Caf\xC3\xA9");
    e.addExtra(ExtraKind::Uid, "uid-" + mail);
    e.addExtra(ExtraKind::Property, "live:" + name, "X-SKYPE;TYPE=work");
    return e;
}

void fillBook(NewAdbook& book) {
    book.addEntry(generatedContact("J\xC3\xBCrgen M\xC3\xBCller", "jm@example.org"));
    book.addEntry(generatedContact(
        "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD \xD0\x9F\xD0\xB5\xD1\x82\xD1\x80\xD0\xBE\xD0\xB2",
        "ivan@example.org"));
    book.addEntry(generatedContact("Ann Lee", "ann@example.org"));
    book.sortAndMerge(0);
    DistList* list = book.addList("Friends & Family");
    list->addMember(book.entryPtr(0));
    list->addMember(book.entryPtr(1));
    NewAdbook* folder = book.folderNamed("Work");
    folder->addEntry(generatedContact("Bea Kim", "bea@example.org"));
}

/// Losses a writer and its reader are known to have that the report does not name (a reader
/// that does not take back a value its writer writes), as {format id, field}; none today.
const std::set<std::pair<std::string, std::string>>& knownLosses() {
    static const std::set<std::pair<std::string, std::string>> losses = {};
    return losses;
}

struct Dropped {
    std::string entry;
    std::string field;
    std::string value;
};

class EveryWriter : public ::testing::TestWithParam<std::string> {
  protected:
    const FormatInfo& format() { return *Registry::builtIn().byId(GetParam()); }
    Application app() {
        return format().applications.empty() ? Application::None : format().applications[0];
    }
    std::string path() {
        const FormatInfo& f = format();
        return dir.file("book." + std::string(f.extensions.empty() ? "txt" : f.extensions[0]));
    }

    bool reported(const std::string& entry, const std::string& field, const std::string& value) {
        return std::any_of(dropped.begin(), dropped.end(), [&](const Dropped& d) {
            return d.entry == entry && d.field == field && d.value == value;
        });
    }
    bool known(const std::string& field) { return knownLosses().count({GetParam(), field}) > 0; }

    /// Every value of `want` is in `got` or named in the report.
    void compare(const Entry& want, const Entry& got) {
        const std::string& who = want[Field::FullName];
        for (int f = 0; f < kFieldCount; ++f) {
            if (want.at(f).empty() || got.at(f) == want.at(f)) continue;
            EXPECT_TRUE(reported(who, fieldName(f), want.at(f)) || known(fieldName(f)))
                << GetParam() << ": " << who << ": " << fieldName(f) << " came back as \""
                << got.at(f) << "\" and the report does not name it";
        }
        for (const Extra& x : want.extras) {
            if (std::find(got.extras.begin(), got.extras.end(), x) != got.extras.end()) continue;
            const std::string field =
                x.kind == ExtraKind::Property ? x.name : extraKindName(x.kind);
            EXPECT_TRUE(reported(who, field, x.value) || known(field))
                << GetParam() << ": " << who << ": " << field << " \"" << x.value
                << "\" was lost and the report does not name it";
        }
    }

    /// The contacts of the book and its folders.
    static std::vector<Entry> contactsOf(NewAdbook& book) {
        std::vector<Entry> out;
        for (int i = 0; i < book.entryCount(); ++i) out.push_back(*book.entryPtr(i));
        for (int i = 0; i < book.folderCount(); ++i) {
            for (Entry& e : contactsOf(*book.folder(i))) out.push_back(std::move(e));
        }
        return out;
    }

    testing::TempDir dir;
    RecordingPrompt prompts;
    MemorySettingsStore store;
    RunContext run{prompts, store};
    std::vector<Dropped> dropped;
};

TEST_P(EveryWriter, EachValueComesBackOrIsNamedInTheReport) {
    NewAdbook source(run);
    fillBook(source);
    const ConversionReport report = reportFor(source, format(), [&](const ReportEvent& e) {
        if (!e.kept) dropped.push_back({e.entry, e.field, e.value});
    });
    std::unique_ptr<ToBase> w = makeWriter(run, format(), path(), app());
    ASSERT_NE(w, nullptr);
    SaveOutcome outcome;
    ASSERT_TRUE(writeBook(*w, source, outcome)) << path();  // flattened as a conversion does
    std::unique_ptr<IterBase> r = makeReader(run, format(), path(), app());
    ASSERT_NE(r, nullptr);
    NewAdbook back(run);
    back.fromStart(*r);

    const std::vector<Entry> got = contactsOf(back);
    for (const Entry& want : contactsOf(source)) {
        const auto match = std::find_if(got.begin(), got.end(), [&](const Entry& g) {
            return g[Field::Email] == want[Field::Email];
        });
        if (match == got.end()) {
            ADD_FAILURE() << GetParam() << " lost " << want[Field::Email];
            continue;
        }
        compare(want, *match);
    }
    if (format().holdsLists) {
        ASSERT_EQ(back.listCount(), 1) << slurp(path());
        EXPECT_EQ(back.listAt(0)->name(), "Friends & Family");
        EXPECT_EQ(back.listAt(0)->entryCount(), 2);
    } else {
        EXPECT_EQ(report.listsDropped, 1);
        EXPECT_EQ(report.membersDropped, 2);
        EXPECT_TRUE(reported("Friends & Family", "List", "Friends & Family"));
    }
    if (format().holdsFolders) {
        EXPECT_EQ(back.folderCount(), 1);
    } else {
        EXPECT_EQ(report.foldersFlattened, 1);
        EXPECT_TRUE(reported("\\Work", "Folder", "Work"));
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, EveryWriter, ::testing::ValuesIn([] {
                             std::vector<std::string> ids;
                             for (const FormatInfo* f : Registry::builtIn().formats()) {
                                 if (f->reader && f->writer && f->writesHere)
                                     ids.emplace_back(f->id);
                             }
                             return ids;
                         }()),
                         [](const auto& param) { return param.param; });

// ---------------------------------------------------------------------------------------------
// The report itself

FormatInfo narrowFormat() {
    FormatInfo f;
    f.id = "narrow";
    f.writeFields = fieldsOf({Field::FullName, Field::Email});
    f.writeExtras.set(static_cast<std::size_t>(ExtraKind::Email));
    f.writeExtras.set(static_cast<std::size_t>(ExtraKind::Birthday));
    f.extraEmailLimit = 1;
    return f;
}

TEST(ConversionReport, CountsWhatTheDestinationCannotHold) {
    RecordingPrompt prompts;
    MemorySettingsStore store;
    RunContext run{prompts, store};
    NewAdbook book(run);
    Entry ann;
    ann[Field::FullName] = "Ann";
    ann[Field::Email] = "ann@x.org";
    ann[Field::HomePhone] = "123";
    ann.addExtra(ExtraKind::Email, "a2@x.org");
    ann.addExtra(ExtraKind::Email, "a3@x.org");
    ann.addExtra(ExtraKind::Birthday, "next spring");
    ann.addExtra(ExtraKind::Category, "Friends");
    book.addEntry(ann);
    Entry phoneOnly;
    phoneOnly[Field::HomePhone] = "456";
    book.folderNamed("Old")->addEntry(phoneOnly);
    book.addList("Team")->addMember(book.entryPtr(0));

    std::vector<ReportEvent> events;
    const ConversionReport r =
        reportFor(book, narrowFormat(), [&](const ReportEvent& e) { events.push_back(e); });
    EXPECT_EQ(r.droppedByField.at("Home Phone"), 2);
    EXPECT_EQ(r.droppedByField.at("Other E-Mail"), 1);
    EXPECT_EQ(r.droppedByField.at("Birthday"), 1);  // no date: the format keeps only dates
    EXPECT_EQ(r.droppedByField.at("Category"), 1);
    EXPECT_EQ(r.droppedByField.count("Full Name"), 0u);
    EXPECT_EQ(r.listsDropped, 1);
    EXPECT_EQ(r.membersDropped, 1);
    EXPECT_EQ(r.foldersFlattened, 1);
    EXPECT_EQ(r.contactsSkipped, 1);
    EXPECT_EQ(r.valuesDropped, 5);
    const std::vector<std::string> lines = reportSummary(r);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0],
              "5 value(s) this format cannot hold were left out: Birthday 1, Category 1, Home "
              "Phone 2, Other E-Mail 1");

    std::ostringstream json;
    writeJsonLine(json, ReportEvent{"A \"q\"\n", "Notes", "x\\y\x01", false, "why"});
    EXPECT_EQ(json.str(),
              "{\"entry\":\"A \\\"q\\\"\\n\",\"field\":\"Notes\",\"value\":\"x\\\\y\\u0001\","
              "\"status\":\"dropped\",\"reason\":\"why\"}\n");
}

TEST(ConversionReport, AFormatHoldingEverythingReportsNothing) {
    RecordingPrompt prompts;
    MemorySettingsStore store;
    RunContext run{prompts, store};
    NewAdbook book(run);
    book.addEntry(generatedContact("Ann Lee", "ann@example.org"));
    const FormatInfo& archive = *Registry::builtIn().byId("kynt");
    const ConversionReport r = reportFor(book, archive);
    EXPECT_EQ(r.valuesDropped, 0);
    EXPECT_TRUE(reportSummary(r).empty());
}

}  // namespace
}  // namespace vesk

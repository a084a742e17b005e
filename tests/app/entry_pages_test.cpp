// The entry property sheet's logic: the field table, the Summary page, the change flags and
// what OK writes back.
#include "app/common/entry_pages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

namespace vesk {
namespace {

/// Runs a test body in UTC, so that the C library's time text is the same everywhere.
struct Utc {
    Utc() {
        const char* tz = std::getenv("TZ");
        m_old = tz ? tz : "";
        m_had = tz != nullptr;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    ~Utc() {
        if (m_had) {
            setenv("TZ", m_old.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
    std::string m_old;
    bool m_had;
};

TEST(EntryPages, EveryEditedFieldHasOnePageAndLabel) {
    struct Case {
        EntryPage page;
        std::size_t count;
        int control;
        const char* label;
        Field field;
    };
    const Case cases[] = {
        {EntryPage::General, 9, 1017, "Display:", Field::FullName},
        {EntryPage::General, 9, 1038, "Notes:", Field::Notes},
        {EntryPage::Home, 9, 1024, "Web Page:", Field::HomeWebPage},
        {EntryPage::Home, 9, 1023, "Cellular:", Field::CellularPhone},
        {EntryPage::Business, 13, 1039, "Web Page:", Field::BusinessWebPage},
        {EntryPage::Business, 13, 1000, "Job Title:", Field::JobTitle},
    };
    for (const Case& c : cases) {
        const auto& fields = entryPageFields(c.page);
        EXPECT_EQ(fields.size(), c.count);
        bool found = false;
        for (const EntryPageField& f : fields)
            if (f.control == c.control)
                found = std::string(f.label) == c.label && f.field == c.field;
        EXPECT_TRUE(found) << c.label;
        EXPECT_EQ(pageOfField(c.field), c.page);
    }
    std::set<Field> seen;
    for (EntryPage p : {EntryPage::General, EntryPage::Home, EntryPage::Business})
        for (const EntryPageField& f : entryPageFields(p)) EXPECT_TRUE(seen.insert(f.field).second);
    EXPECT_EQ(seen.size(), 31u);  // Profession, Manager and Assistant have no edit
    EXPECT_EQ(pageOfField(Field::Profession), EntryPage::Summary);
    EXPECT_TRUE(entryPageFields(EntryPage::Summary).empty());
}

TEST(EntryPages, SummaryShowsThirteenFieldsAndTheDate) {
    Utc utc;
    Entry e;
    e[Field::FullName] = "Ann Lee";
    e[Field::Email] = "ann@example.org";
    e[Field::BusinessWebPage] = "example.org";
    e[Field::Notes] = "not shown";
    e.revisionTime = 86400 * 4 + 3661;  // Mon Jan  5 01:01:01 1970
    EXPECT_EQ(
        summaryValues(e),
        "Ann Lee\nann@example.org\n\n\n\n\n\n\n\n\n\n\nexample.org\nMon Jan  5 01:01:01 1970\n");
    EXPECT_EQ(summaryLabels(),
              "Name:\nE-Mail Address:\nHome Phone:\nPager:\nCellular:\nPersonal Web Page:\n"
              "Business Phone:\nBusiness Fax:\nJob Title:\nDepartment:\nOffice:\nOrganization:\n"
              "Business Web Page:\nDate:");
    EXPECT_EQ(cTimeText(1700000000), "Tue Nov 14 22:13:20 2023\n");
}

TEST(EntryPages, FlagsFollowThePagesEdited) {
    struct Case {
        const char* label;
        std::vector<Field> edited;
        std::array<bool, 4> flags;
    };
    const Case cases[] = {
        {"nothing", {}, {false, false, false, false}},
        {"home only", {Field::HomeCity}, {false, false, true, false}},
        {"display name", {Field::FullName}, {true, true, false, false}},
        {"nickname", {Field::Nickname}, {false, true, false, false}},
        {"business and home", {Field::Pager, Field::HomeFax}, {false, false, true, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Entry e;
        e.revisionTime = 5;
        EntrySheetState sheet(e, false);
        for (Field f : c.edited) sheet.setText(f, "x");
        for (int i = 0; i < 4; ++i) EXPECT_EQ(sheet.flag(i), c.flags[static_cast<std::size_t>(i)]);
        const SheetResult r = sheet.result(true);
        EXPECT_EQ(r.nameChanged, c.flags[0]);
        EXPECT_EQ(r.generalChanged, c.flags[1]);
        EXPECT_EQ(r.homeChanged, c.flags[2]);
        EXPECT_EQ(r.businessChanged, c.flags[3]);
        sheet.apply(1000);
        EXPECT_EQ(e.revisionTime, c.edited.empty() ? 5 : 1000);
        for (Field f : c.edited) EXPECT_EQ(e[f], "x");
    }
}

// Editing one field of a page writes the page's other fields back whole, however long.
TEST(EntryPages, OkWritesWholeTextsAndMarksTypedFieldsAsHeld) {
    Entry e;
    e[Field::Notes] = std::string(2000, 'n');
    e.mask.reset();
    e.mask.set(static_cast<std::size_t>(Field::Notes));
    EntrySheetState sheet(e, false);
    EXPECT_EQ(sheet.startPage(), EntryPage::Summary);
    EXPECT_EQ(EntrySheetState(e, true).startPage(), EntryPage::General);
    sheet.setText(Field::Nickname, "Annie");
    sheet.setText(Field::HomeCity, "Bonn");
    sheet.apply(77);
    EXPECT_EQ(e[Field::Notes].size(), 2000u);
    EXPECT_EQ(e[Field::Nickname], "Annie");
    // Typed into a field its source could not hold, it is kept by copies of the entry.
    EXPECT_EQ(e.maskedCopy()[Field::Nickname], "Annie");
    EXPECT_EQ(e.maskedCopy()[Field::HomeCity], "Bonn");
    EXPECT_FALSE(e.mask.test(static_cast<std::size_t>(Field::Spouse)));
}

TEST(EntryPages, GoOpensOnlyWebAddresses) {
    struct Case {
        const char* text;
        const char* opened;
    };
    const Case cases[] = {
        {"https://example.org/a?b=c", "https://example.org/a?b=c"},
        {"HTTP://Example.org", "HTTP://Example.org"},
        {"www.example.org", "http://www.example.org"},
        {"  example.org/~ann  ", "http://example.org/~ann"},
        {"C:\\Windows\\System32\\cmd.exe", ""},
        {"\\\\host\\share\\x.exe", ""},
        {"/usr/bin/xterm", ""},
        {"file:///etc/passwd", ""},
        {"javascript:alert(1)", ""},
        {"ftp://example.org", ""},
        {"~/run.sh", ""},
        {"a b", ""},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(webPageToOpen(c.text), c.opened) << c.text;
}

}  // namespace
}  // namespace vesk

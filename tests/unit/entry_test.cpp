#include "model/entry.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace vesk {
namespace {

Entry named(const std::string& full, const std::string& mail = {}) {
    Entry e;
    e[Field::FullName] = full;
    e[Field::Email] = mail;
    return e;
}

TEST(Entry, NewEntryIsEmptyContactWithFullMaskAndCurrentTime) {
    const std::int64_t before = currentTime();
    Entry e;
    EXPECT_TRUE(e.isEmpty());
    EXPECT_EQ(e.kind, KindContact);
    EXPECT_TRUE(e.mask.all());
    EXPECT_GE(e.revisionTime, before);
    EXPECT_EQ(maskToText(e.mask), "1111111111111111111111111111111111");
}

TEST(Entry, MaskedCopyFiltersButCopiesAndAssignmentsKeepEverything) {
    Entry src = named("Ann Lee");
    src[Field::Organization] = "Acme";
    src.mask.reset(5);
    src.revisionTime = 0;
    src.sourceId = "id-1";
    src.kind = EntryKind{1};

    const Entry copy = src.maskedCopy();
    EXPECT_EQ(copy[Field::Organization], "");
    EXPECT_EQ(copy[Field::FullName], "Ann Lee");
    EXPECT_NE(copy.revisionTime, 0);
    EXPECT_EQ(copy.sourceId, "id-1");
    EXPECT_EQ(toNumber(copy.kind), 1);
    EXPECT_FALSE(copy.mask.test(5));

    // A plain copy or a move must never filter: containers and sorts make them without meaning to.
    const Entry plain(src);
    Entry assigned;
    assigned = src;
    Entry temporary(src);
    const Entry moved(std::move(temporary));
    for (const Entry* e : std::initializer_list<const Entry*>{&plain, &assigned, &moved}) {
        EXPECT_EQ((*e)[Field::Organization], "Acme");
        EXPECT_EQ(e->revisionTime, 0);
        EXPECT_FALSE(e->mask.test(5));
        EXPECT_EQ(e->sourceId, "id-1");
    }
}

TEST(Entry, ClearKeepsMaskTimeAndSourceId) {
    Entry e = named("Ann");
    e.kind = KindFolderBegin;
    e.mask.reset(3);
    e.revisionTime = 42;
    e.sourceId = "x";
    e.clear();
    EXPECT_TRUE(e.isEmpty());
    EXPECT_EQ(e.kind, KindContact);
    EXPECT_FALSE(e.mask.test(3));
    EXPECT_EQ(e.revisionTime, 42);
    EXPECT_EQ(e.sourceId, "x");
}

TEST(Entry, FieldAccessPast33ThrowsTheBitsetError) {
    Entry e;
    EXPECT_NO_THROW(e.at(33));
    try {
        e.at(34);
        FAIL() << "no exception";
    } catch (const std::out_of_range& ex) {
        EXPECT_STREQ(ex.what(), "invalid bitset<N> position");
    }
    EXPECT_THROW(e.at(-1), std::out_of_range);
    EXPECT_THROW(fieldName(34), std::out_of_range);
    EXPECT_EQ(fieldName(0), "Full Name");
    EXPECT_EQ(fieldName(33), "Spouse");
    EXPECT_EQ(fieldIndex("Business Street Address"), 14);
    EXPECT_EQ(fieldIndex("full name"), -1);
}

struct NameCase {
    const char* full;
    const char* first;
    const char* last;
    bool result;
    const char* expFull;
    const char* expFirst;
    const char* expLast;
};

void PrintTo(const NameCase& c, std::ostream* os) {
    *os << '"' << c.full << "\" / \"" << c.first << "\" / \"" << c.last << '"';
}

class CompleteNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(CompleteNames, FillsNamesFromEachOther) {
    const NameCase& c = GetParam();
    Entry e;
    e[Field::FullName] = c.full;
    e[Field::FirstName] = c.first;
    e[Field::LastName] = c.last;
    EXPECT_EQ(e.completeNames(), c.result);
    EXPECT_EQ(e[Field::FullName], c.expFull);
    EXPECT_EQ(e[Field::FirstName], c.expFirst);
    EXPECT_EQ(e[Field::LastName], c.expLast);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompleteNames,
    ::testing::Values(
        NameCase{"John Smith", "", "", true, "John Smith", "John", "Smith"},
        NameCase{"Smith, John", "", "", true, "Smith, John", " John", "Smith"},
        NameCase{"Cher", "", "", true, "Cher", "Cher", "Cher"},
        NameCase{"John Smith ", "", "", true, "John Smith ", "John", "Smith "},
        NameCase{"Mary Ann Smith", "", "", true, "Mary Ann Smith", "Mary Ann", "Smith"},
        NameCase{"John Smith", "Johnny", "", true, "John Smith", "Johnny", ""},
        NameCase{"", "John", "Smith", true, "John Smith", "John", "Smith"},
        NameCase{"", "", "Smith", true, "Smith", "", "Smith"},
        NameCase{"", "John", "", true, "John", "John", ""}, NameCase{"", "", "", false, "", "", ""},
        NameCase{" ", "", "", true, " ", " ", " "},
        NameCase{"Jürgen Müller", "", "", true, "Jürgen Müller", "Jürgen", "Müller"}));

TEST(Similarity, TwoEmptyEntriesAreTheSame) {
    EXPECT_EQ(Entry().similarity(Entry()), 100);
    EXPECT_TRUE(Entry().sameAs(Entry()));
}

TEST(Similarity, OneSidedFieldGivesEighty) {
    Entry a = named("Ann Lee", "ann@x.org");
    Entry b = named("Ann Lee", "ann@x.org");
    b[Field::Nickname] = "annie";
    EXPECT_EQ(a.similarity(b), 80);
    EXPECT_TRUE(a.relatedTo(b));
    EXPECT_FALSE(a.sameAs(b));
}

TEST(Similarity, DifferentMailGivesFiftyWhichIsNotRelated) {
    Entry a = named("Ann Lee", "ann@x.org");
    Entry b = named("Ann Lee", "lee@y.org");
    EXPECT_EQ(a.similarity(b), 50);
    EXPECT_FALSE(a.relatedTo(b));
}

TEST(Similarity, AsciiCaseIsFoldedButNotOtherLetters) {
    EXPECT_TRUE(named("ANN LEE", "Ann@X.org").sameAs(named("ann lee", "ann@x.org")));
    EXPECT_FALSE(named("ÄNN").sameAs(named("änn")));
}

TEST(Similarity, OnlyCommonlySupportedFieldsCount) {
    Entry a = named("Ann Lee", "ann@x.org");
    Entry b = named("Ann Lee", "other@x.org");
    b.mask.reset(1);
    EXPECT_EQ(a.similarity(b), 100);
    Entry none;
    none.mask.reset();
    EXPECT_EQ(a.similarity(none), 100);  // nothing in common counts as the same
}

TEST(Similarity, SinglePrecisionTruncates) {
    // 1 match over 3 counted fields: 33.33 truncates to 33.
    Entry a = named("Ann", "a@x");
    a[Field::Nickname] = "n1";
    Entry b = named("Ann", "b@x");
    b[Field::Nickname] = "n2";
    EXPECT_EQ(a.similarity(b), 33);
}

TEST(MergeFrom, NewerOrEqualReplacesEveryMaskedFieldEvenWithEmpty) {
    Entry existing = named("Ann Lee", "ann@x.org");
    existing[Field::HomePhone] = "123";
    existing.revisionTime = 100;
    Entry incoming = named("Ann Lee", "new@x.org");
    incoming.revisionTime = 100;
    EXPECT_TRUE(existing.mergeFrom(incoming));
    EXPECT_EQ(existing[Field::Email], "new@x.org");
    EXPECT_EQ(existing[Field::HomePhone], "");
    EXPECT_EQ(existing.revisionTime, 100);

    Entry limited = named("X", "x@x");
    limited.mask.reset();
    limited.mask.set(1);
    limited.revisionTime = 200;
    existing.mask.reset(7);
    EXPECT_TRUE(existing.mergeFrom(limited));
    EXPECT_EQ(existing[Field::FullName], "Ann Lee");
    EXPECT_EQ(existing[Field::Email], "x@x");
    EXPECT_EQ(existing.revisionTime, 200);
    EXPECT_FALSE(existing.mask.test(7));  // the mask of the existing entry is not touched
}

TEST(MergeFrom, OlderFillsOnlyFieldsTheExistingMaskLacks) {
    Entry existing = named("Ann Lee", "ann@x.org");
    existing.mask.reset(3);
    existing.revisionTime = 200;
    Entry incoming = named("Old Name", "old@x.org");
    incoming[Field::HomePhone] = "555";
    incoming.revisionTime = 100;
    EXPECT_FALSE(existing.mergeFrom(incoming));
    EXPECT_EQ(existing[Field::FullName], "Ann Lee");
    EXPECT_EQ(existing[Field::HomePhone], "555");
    EXPECT_TRUE(existing.mask.test(3));
    EXPECT_EQ(existing.revisionTime, 200);
}

TEST(MergeFrom, AnUndatedEntryIsOlderAndOnlyFillsGaps) {
    // Time 0: the source keeps no revision times (LDIF, HTML, Eudora, ini, plain lists).
    for (const std::int64_t existingTime : {std::int64_t{100}, std::int64_t{0}}) {
        Entry existing = named("Ann Lee", "ann@x.org");
        existing[Field::HomePhone] = "123";
        existing.revisionTime = existingTime;
        Entry incoming = named("Ann Lee", "new@x.org");
        incoming[Field::Notes] = "met in Bern";
        incoming.revisionTime = 0;
        EXPECT_FALSE(existing.mergeFrom(incoming)) << existingTime;
        EXPECT_EQ(existing[Field::Email], "ann@x.org");
        EXPECT_EQ(existing[Field::HomePhone], "123");
        EXPECT_EQ(existing[Field::Notes], "met in Bern");
        EXPECT_EQ(existing.revisionTime, existingTime);
    }
}

TEST(Extras, MergeLikeFieldsAndNeverCountInSimilarity) {
    const auto withExtras = [](std::int64_t time, std::vector<Extra> extras) {
        Entry e = named("Ann Lee", "ann@x.org");
        e.revisionTime = time;
        for (Extra& x : extras) e.addExtra(x.kind, x.value, x.name);
        return e;
    };
    const Extra bday{ExtraKind::Birthday, "1980-05-17", {}};
    const Extra newBday{ExtraKind::Birthday, "1981-01-02", {}};
    const Extra cat{ExtraKind::Category, "Friends", {}};
    const Extra skype{ExtraKind::Property, "ann", "X-SKYPE"};
    struct Case {
        const char* what;
        std::int64_t incomingTime;
        std::vector<Extra> want;
    };
    const Case cases[] = {
        {"newer replaces its slots and keeps the others", 200, {cat, newBday, skype}},
        {"older only fills slots that are empty", 50, {bday, cat, skype}},
        {"undated only fills slots that are empty", 0, {bday, cat, skype}},
    };
    for (const Case& c : cases) {
        Entry existing = withExtras(100, {bday, cat});
        existing.mergeFrom(withExtras(c.incomingTime, {newBday, skype}));
        EXPECT_EQ(existing.extras, c.want) << c.what;
    }
    Entry kept = withExtras(100, {bday});
    fillFrom(kept, withExtras(100, {newBday, cat}));
    EXPECT_EQ(kept.extras, (std::vector<Extra>{bday, cat}));
    // Extras alone never make two entries differ, nor an entry non-empty.
    EXPECT_TRUE(withExtras(1, {bday}).sameAs(withExtras(1, {newBday, skype})));
    EXPECT_EQ(withExtras(1, {bday}).similarity(withExtras(1, {cat})), 100);
    Entry onlyExtras;
    onlyExtras.addExtra(ExtraKind::Uid, "u1");
    onlyExtras.addExtra(ExtraKind::Uid, "u1");
    EXPECT_EQ(onlyExtras.extras.size(), 1u);
    EXPECT_EQ(onlyExtras.maskedCopy().extras, onlyExtras.extras);
    onlyExtras.clear();
    EXPECT_TRUE(onlyExtras.extras.empty());
}

TEST(Extras, DatesReadInTheirCommonForms) {
    const std::pair<std::string, std::string> cases[] = {
        {"1980-05-17", "1980-05-17"},
        {"19800517", "1980-05-17"},
        {"--0517", "--05-17"},
        {"--05-17", "--05-17"},
        {"1980-05-17T00:00:00Z", "1980-05-17"},
        {" 1980-13-01 ", "1980-13-01"},
        {"next spring", "next spring"},
    };
    for (const auto& [in, want] : cases) EXPECT_EQ(normalExtraDate(in), want) << in;
    EXPECT_EQ(dateFromParts("1980", "5", "7"), "1980-05-07");
    EXPECT_EQ(dateFromParts("", "12", "31"), "--12-31");
    EXPECT_EQ(dateFromParts("1980", "", "7"), "");
    EXPECT_EQ(dateFromParts("x", "2", "30"), "--02-30");
}

TEST(Ordering, UsesTheGivenFieldWithAsciiFolding) {
    Entry a = named("alice", "z@x");
    Entry b = named("Bob", "a@x");
    EXPECT_TRUE(a.sortsBefore(b, 0));
    EXPECT_TRUE(b.sortsBefore(a, 1));
    EXPECT_FALSE(named("ANN").sortsBefore(named("ann"), 0));
    EXPECT_FALSE(named("ann").sortsBefore(named("ANN"), 0));
    EXPECT_THROW(a.sortsBefore(b, kFieldCount), std::out_of_range);
    EXPECT_GT(compareNoCase("Zed", "[x"), 0);  // Z folds to z, which sorts after [
}

TEST(Mask, TextFormPutsField33First) {
    FieldMask m;
    m.set(0);
    EXPECT_EQ(maskToText(m), "0000000000000000000000000000000001");
    FieldMask parsed;
    ASSERT_TRUE(maskFromText("1000000000000000000000000000000000", parsed));
    EXPECT_TRUE(parsed.test(33));
    EXPECT_FALSE(parsed.test(0));
    EXPECT_FALSE(maskFromText("10", parsed));
    EXPECT_FALSE(maskFromText("100000000000000000000000000000000x", parsed));
}

}  // namespace
}  // namespace vesk

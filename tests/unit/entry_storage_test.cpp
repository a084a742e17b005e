// How an entry keeps its fields: only the ones holding a value are stored, and every way of
// writing, reading, copying and filtering them must behave as 34 plain strings would.
#include <gtest/gtest.h>

#include <array>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "model/entry.h"

namespace vesk {
namespace {

using Fields = std::array<std::string, kFieldCount>;

struct Write {
    int field;
    const char* value;
};

struct StorageCase {
    const char* name;
    std::vector<Write> writes;
};

void PrintTo(const StorageCase& c, std::ostream* os) {
    *os << c.name;
}

class EntryStorage : public ::testing::TestWithParam<StorageCase> {};

// Each write goes to an entry and to 34 plain strings; they must agree on every field after
// every write, and only the non-empty fields count as present.
TEST_P(EntryStorage, AgreesWithPlainStrings) {
    Entry e;
    Fields plain;
    for (const Write& w : GetParam().writes) {
        e.at(w.field) = w.value;
        plain[static_cast<std::size_t>(w.field)] = w.value;
        FieldMask present;
        for (std::size_t i = 0; i < plain.size(); ++i) present.set(i, !plain[i].empty());
        ASSERT_EQ(e.allFields(), plain) << "after field " << w.field;
        EXPECT_EQ(e.presentFields(), present);
        EXPECT_EQ(e.isEmpty(), present.none());
    }
    std::vector<int> visited;
    e.forEachField([&](int i, const std::string& v) {
        EXPECT_EQ(v, plain[static_cast<std::size_t>(i)]);
        visited.push_back(i);
    });
    EXPECT_TRUE(std::is_sorted(visited.begin(), visited.end()));
    EXPECT_EQ(visited.size(), e.presentFields().count());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EntryStorage,
    ::testing::Values(
        StorageCase{"InFieldOrder", {{0, "a"}, {1, "b"}, {5, "c"}, {33, "d"}}},
        StorageCase{"Backwards", {{33, "d"}, {20, "c"}, {1, "b"}, {0, "a"}}},
        StorageCase{"Scattered", {{17, "m"}, {2, "n"}, {30, "o"}, {9, "p"}, {0, "q"}}},
        StorageCase{"EmptyRemoves", {{3, "x"}, {4, "y"}, {5, "z"}, {4, ""}, {3, ""}, {5, ""}}},
        StorageCase{"EmptyOnAbsentStaysAbsent", {{7, ""}, {8, "v"}, {7, ""}}},
        StorageCase{"Overwrite", {{6, "short"}, {6, "a value too long for inline storage"}}},
        StorageCase{"LastField", {{33, "spouse"}, {33, ""}, {33, "again"}}},
        StorageCase{"EveryField",
                    {{0, "0"},  {1, "1"},  {2, "2"},  {3, "3"},  {4, "4"},  {5, "5"},  {6, "6"},
                     {7, "7"},  {8, "8"},  {9, "9"},  {10, "a"}, {11, "b"}, {12, "c"}, {13, "d"},
                     {14, "e"}, {15, "f"}, {16, "g"}, {17, "h"}, {18, "i"}, {19, "j"}, {20, "k"},
                     {21, "l"}, {22, "m"}, {23, "n"}, {24, "o"}, {25, "p"}, {26, "q"}, {27, "r"},
                     {28, "s"}, {29, "t"}, {30, "u"}, {31, "v"}, {32, "w"}, {33, "x"}, {16, ""}}}),
    [](const auto& c) { return std::string(c.param.name); });

TEST(EntryStorage, WritesThroughTheFieldReference) {
    Entry e;
    e[Field::Notes] += "one";  // appending to an absent field creates it
    e[Field::Notes] += '\n';
    e[Field::Notes] += std::string("two");
    EXPECT_EQ(e[Field::Notes], "one\ntwo");
    e[Field::Email] += "";
    EXPECT_FALSE(e.presentFields().test(static_cast<std::size_t>(Field::Email)));

    // A reference names the field, not the stored string: it survives other fields coming.
    FieldRef last = e[Field::LastName];
    for (int i = 0; i < kFieldCount; ++i) {
        if (i != static_cast<int>(Field::LastName)) e.at(i) = "filler";
    }
    last = "Lee";
    EXPECT_EQ(e[Field::LastName], "Lee");

    // Assigning one field of an entry to another copies the value, also when storing it moves
    // the first; the same for appending a field to itself.
    Entry f;
    f[Field::Spouse] = "a value longer than fifteen characters";
    f[Field::FullName] = f[Field::Spouse];
    EXPECT_EQ(f[Field::FullName], "a value longer than fifteen characters");
    f[Field::Nickname] = std::as_const(f)[Field::Spouse];
    EXPECT_EQ(std::as_const(f)[Field::Nickname], "a value longer than fifteen characters");
    f[Field::Spouse] += std::as_const(f)[Field::Spouse];
    EXPECT_EQ(f[Field::Spouse].size(),
              2 * std::string("a value longer than fifteen characters").size());
    f[Field::FullName] = std::string_view(std::as_const(f)[Field::FullName]).substr(2, 5);
    EXPECT_EQ(f[Field::FullName], "value");
}

TEST(EntryStorage, TakeSetAndEdit) {
    Entry e;
    e.set(Field::Office, "Room 1");
    e.set(33, "Sam");
    EXPECT_EQ(e.take(Field::Office), "Room 1");
    EXPECT_EQ(e[Field::Office], "");
    EXPECT_EQ(e.take(Field::Office), "");
    EXPECT_EQ(e[Field::Spouse].take(), "Sam");
    EXPECT_TRUE(e.isEmpty());

    e.set(Field::FullName, "\"Ann\"");
    e.edit(Field::FullName, [](std::string& s) { s = s.substr(1, s.size() - 2); });
    EXPECT_EQ(e[Field::FullName], "Ann");
    e.edit(Field::FullName, [](std::string& s) { s.clear(); });
    EXPECT_TRUE(e.isEmpty());
    e.edit(Field::Email, [](std::string& s) { s = "made@x"; });
    EXPECT_EQ(e[Field::Email], "made@x");
}

TEST(EntryStorage, IndexPast33Throws) {
    Entry e;
    const Entry& c = e;
    for (int bad : {34, -1, 64}) {
        EXPECT_THROW(e.at(bad), std::out_of_range) << bad;
        EXPECT_THROW(c.at(bad), std::out_of_range) << bad;
        EXPECT_THROW(e.set(bad, "x"), std::out_of_range) << bad;
        EXPECT_THROW(e.take(bad), std::out_of_range) << bad;
        EXPECT_THROW(e.edit(bad, [](std::string&) {}), std::out_of_range) << bad;
    }
    EXPECT_TRUE(e.isEmpty());
}

TEST(EntryStorage, CopiesMovesAndMasks) {
    Entry e;
    e[Field::FullName] = "Ann Lee";
    e[Field::HomeCity] = "Oslo";
    e[Field::Spouse] = "Sam";
    e.mask.reset(static_cast<std::size_t>(Field::HomeCity));

    Entry copy = e;
    EXPECT_TRUE(copy.sameFields(e));
    copy[Field::FullName] = "Changed";
    EXPECT_EQ(e[Field::FullName], "Ann Lee");  // a copy owns its values
    EXPECT_FALSE(copy.sameFields(e));

    Entry moved = std::move(copy);
    EXPECT_EQ(moved[Field::FullName], "Changed");
    EXPECT_EQ(moved[Field::Spouse], "Sam");

    const Entry masked = e.maskedFields();
    EXPECT_EQ(masked[Field::HomeCity], "");
    EXPECT_EQ(masked[Field::FullName], "Ann Lee");
    EXPECT_EQ(masked[Field::Spouse], "Sam");

    Entry kept = e;
    kept.keepFields(kept.mask);
    EXPECT_TRUE(kept.sameFields(masked));
    kept.keepFields(FieldMask());
    EXPECT_TRUE(kept.isEmpty());
}

}  // namespace
}  // namespace vesk

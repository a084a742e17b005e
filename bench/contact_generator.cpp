#include "contact_generator.h"

#include <array>
#include <string>

namespace vesk::bench {

namespace {

// splitmix64: tiny, fast and identical on every platform.
class Rng {
  public:
    explicit Rng(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
    double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }

  private:
    std::uint64_t m_state;
};

const std::array<const char*, 24> kFirst = {
    "Anna",  "Jürgen", "Zoë",    "Иван",   "Mårten", "Łukasz", "José",  "Chloé",
    "Björn", "Søren",  "Ayşe",   "Nguyễn", "Maria",  "John",   "Peter", "Sarah",
    "Mei",   "Olga",   "Dmitri", "Fatima", "Lars",   "Émile",  "Kenji", "Priya"};
const std::array<const char*, 24> kLast = {
    "Müller", "Smith",    "Öztürk",   "Петров", "García", "Nowak",  "Dubois", "Rossi",
    "Jensen", "Andersen", "Kowalski", "Tanaka", "Brown",  "Wilson", "Lee",    "Schäfer",
    "Novák",  "Ivanova",  "Khan",     "Silva",  "Weber",  "Martin", "Costa",  "Larsen"};
const std::array<const char*, 6> kDomains = {"example.org", "mail.example.com", "post.example.de",
                                             "example.net", "firma.example",    "uni.example.edu"};
const std::array<const char*, 6> kCities = {"München", "Paris",  "Kraków",
                                            "Москва",  "Lisboa", "Toronto"};

std::string asciiLower(const std::string& s) {
    std::string out;
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x80) out.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
    }
    return out.empty() ? "x" : out;
}

Entry makeContact(Rng& rng, std::size_t serial) {
    Entry e;
    const std::string first = kFirst[rng.below(kFirst.size())];
    const std::string last = kLast[rng.below(kLast.size())];
    e[Field::FullName] = first + " " + last;
    e[Field::Email] = asciiLower(first) + "." + asciiLower(last) + std::to_string(serial) + "@" +
                      kDomains[rng.below(kDomains.size())];
    if (rng.unit() < 0.6)
        e[Field::HomePhone] = "+49 89 " + std::to_string(1000000 + rng.below(9000000));
    if (rng.unit() < 0.4)
        e[Field::Organization] = std::string(kLast[rng.below(kLast.size())]) + " GmbH";
    if (rng.unit() < 0.5) {
        e[Field::HomeStreet] = std::to_string(1 + rng.below(200)) + " Hauptstraße";
        e[Field::HomeCity] = kCities[rng.below(kCities.size())];
    }
    if (rng.unit() < 0.2) e[Field::Notes] = "Met at the conference.\nLikes tea.";
    e.revisionTime = 1600000000 + static_cast<std::int64_t>(rng.below(100000000));
    return e;
}

Entry nearCopy(Rng& rng, const Entry& e) {
    Entry c = e;
    switch (rng.below(3)) {
        case 0:
            c[Field::Nickname] = "nick" + std::to_string(rng.below(100));
            break;
        case 1:
            c[Field::BusinessPhone] = "+1 555 " + std::to_string(rng.below(10000));
            break;
        default:
            c[Field::Email] = "other." + c[Field::Email];
            break;
    }
    return c;
}

Entry caseVariant(const Entry& e) {
    Entry c = e;
    c.edit(Field::FullName, [](std::string& name) {
        for (char& ch : name) {
            if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
        }
    });
    return c;
}

}  // namespace

std::vector<Entry> generateContacts(std::size_t count, const GeneratorOptions& options) {
    Rng rng(options.seed);
    std::vector<Entry> out;
    out.reserve(count);
    while (out.size() < count) {
        const double r = rng.unit();
        if (!out.empty() && r < options.exactDuplicates) {
            out.push_back(caseVariant(out[rng.below(out.size())]));
        } else if (!out.empty() && r < options.exactDuplicates + options.nearDuplicates) {
            out.push_back(nearCopy(rng, out[rng.below(out.size())]));
        } else {
            out.push_back(makeContact(rng, out.size()));
        }
    }
    return out;
}

void fillBook(NewAdbook& book, std::size_t count, const GeneratorOptions& options) {
    std::vector<Entry> contacts = generateContacts(count, options);
    Rng rng(options.seed ^ 0xABCDEFull);
    for (int f = 0; f < options.folders; ++f) book.addFolder("Folder " + std::to_string(f));
    for (auto& e : contacts) {
        if (options.folders > 0 && rng.unit() < 0.2) {
            book.folder(static_cast<int>(rng.below(static_cast<std::size_t>(options.folders))))
                ->addEntry(std::move(e));
        } else {
            book.addEntry(std::move(e));
        }
    }
    for (int l = 0; l < options.lists && book.entryCount() > 0; ++l) {
        DistList* list = book.addList("List " + std::to_string(l));
        for (int m = 0; m < 10; ++m) {
            list->addMember(book.entryPtr(
                static_cast<int>(rng.below(static_cast<std::size_t>(book.entryCount())))));
        }
    }
}

}  // namespace vesk::bench

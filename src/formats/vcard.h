// vCard files (.vcf, and Becky! .bab books). The reader takes what phones, web mail and desktop
// programs write (2.1, 3.0, 4.0); the writer of ".vcf" writes vCard 3.0, which mail programs,
// phones and web address books all read. The classic 2.1 layout stays as `vcard21` (.bab), and
// `vcard40` writes vCard 4.0 with lists as group cards. The card code itself is shared with the
// native archive (parsing/vcard_cards.h).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "model/format_info.h"
#include "parsing/vcard_cards.h"

namespace vesk {

const FormatInfo& vcardFormat();
const FormatInfo& vcard21Format();
const FormatInfo& vcard40Format();

namespace vcard {

/// A stable UID for a card written without one: a name-based UUID (version 8) of its name and
/// e-mail address, so that a group's members find their cards.
std::string derivedUid(const Entry& e);

/// The UIDs written so far: a flat table of hashes over one buffer holding their text, since
/// a book asks it once per card and a set of strings costs a cache miss per step.
class UidSet {
  public:
    bool contains(std::string_view uid) const;
    void insert(std::string_view uid);

  private:
    /// Two words: a book of a hundred thousand cards keeps a quarter of a million slots.
    struct Slot {
        std::size_t hash = 0;
        std::size_t at = 0;  ///< 1 + where the UID's length and then its text stand; 0: free
    };
    /// The slot holding `uid`, else the free slot where it would go.
    std::size_t find(std::string_view uid, std::size_t hash) const;
    std::string_view textOf(const Slot& slot) const;
    void grow();

    std::vector<Slot> m_slots;  ///< a power of two, at most half used
    std::string m_text;         ///< each UID as its length (8 bytes) and its text
    std::size_t m_count = 0;
};

}  // namespace vcard

/// Writes vCard 3.0 (RFC 2426) or 4.0 (RFC 6350) cards: UTF-8, escaped text, lines folded at
/// 75 octets, no empty properties. Version 3.0 holds no lists (each is reported as dropped);
/// 4.0 writes each list as a KIND:group card whose MEMBER lines name its members.
class ToVCard : public ToVCF {
  public:
    ToVCard(RunContext& run, std::string fileName, int version);

    bool write(Entry e) override;

  private:
    void appendModernCard(const Entry& e);
    /// The MEMBER value of a list member: the UID of its card, else its address.
    std::string memberReference(const Entry& e);
    /// The UID a card is written with.
    static std::string cardUid(const Entry& e);
    void appendGroup();

    int m_version;
    vcard::UidSet m_uids;  ///< UIDs of the cards written so far
    std::string m_line;    ///< A reused buffer for one line.
    std::string m_value;   ///< A reused buffer for a value built from several.
    std::string m_listName;
    std::vector<Entry> m_members;
};

}  // namespace vesk

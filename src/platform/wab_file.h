// The Windows Address Book of a .wab file, read natively behind the library interface (wab.h),
// so that Outlook Express's store reads on a system without the library. Facts of the layout
// are in docs/formats/wab.md. The store is read-only here: nothing can be created in it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/run_context.h"
#include "platform/wab.h"

namespace vesk::wab {

/// One live record of a .wab file.
struct FileRecord {
    std::uint32_t id = 0;
    std::uint32_t kind = 0;  ///< 1 contact, 3 folder
    std::vector<PropValue> props;

    const PropValue* find(std::uint32_t tag) const;
};

inline constexpr std::uint32_t kRecordFolder = 3;

/// The live records of a .wab file's bytes, in the order of its index; false (with `error`)
/// when the bytes are not a .wab file. Records that cannot be read are left out.
bool parseWabFile(std::string_view bytes, std::vector<FileRecord>& records, std::string& error);

/// The entry identifier the library hands out for record `id`: four flag bytes, then the id
/// in decimal as NUL-terminated UTF-16LE text.
std::string entryIdOf(std::uint32_t id);
/// The record id of an entry identifier (ours, or the four-byte form the file stores); 0 when
/// it is neither.
std::uint32_t recordIdOf(std::string_view entryId);

/// UTF-16LE bytes as UTF-8, up to the first NUL; unpaired surrogates become U+FFFD.
std::string utf16leToUtf8(std::string_view bytes);

/// The user's default .wab file: the Windows Address Book's registry setting in the Wine
/// prefix, as a path of this machine ("" when there is none).
std::string defaultWabFile(RunContext& run);

/// The library over .wab files; `defaultFile` is opened when WABOpen is given no file name.
std::shared_ptr<Library> fileLibrary(std::string defaultFile);

}  // namespace vesk::wab

// The Windows Address Book library, as far as Vesk uses it: loading the library, WABOpen, the
// address book, containers, tables, property objects and the MAPI result codes, one class each,
// so that the reader and the writer are written once over this interface. Backends: the native
// .wab file reader (wab_file.h) and the in-memory doubles of the tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vesk::wab {

using HRESULT = std::uint32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT MAPI_W_ERRORS_RETURNED = 0x00040380;
inline constexpr HRESULT E_FAIL = 0x80004005;
inline constexpr HRESULT MAPI_E_NO_SUPPORT = 0x80040102;
inline constexpr HRESULT MAPI_E_BAD_CHARWIDTH = 0x80040103;
inline constexpr HRESULT MAPI_E_NOT_FOUND = 0x8004010F;
inline constexpr HRESULT MAPI_E_COMPUTED = 0x8004011A;
inline constexpr HRESULT MAPI_E_INVALID_TYPE = 0x80040302;
inline constexpr HRESULT MAPI_E_UNEXPECTED_TYPE = 0x80040304;
inline constexpr HRESULT MAPI_E_NO_ACCESS = 0x80070005;
inline constexpr HRESULT MAPI_E_NOT_ENOUGH_MEMORY = 0x8007000E;
inline constexpr HRESULT MAPI_E_INVALID_PARAMETER = 0x80070057;

constexpr bool failed(HRESULT hr) {
    return (hr & 0x80000000u) != 0;
}

inline constexpr std::uint32_t MAPI_UNICODE = 0x80000000;
inline constexpr std::uint32_t WAB_ENABLE_PROFILES = 0x00400000;
inline constexpr std::int32_t MAPI_DISTLIST = 8;
inline constexpr std::int32_t MAPI_MAILUSER = 6;
inline constexpr std::int32_t MAPI_ABCONT = 4;

/// Property types (the low 16 bits of a tag).
inline constexpr std::uint32_t PT_LONG = 0x0003;
inline constexpr std::uint32_t PT_ERROR = 0x000A;
inline constexpr std::uint32_t PT_STRING8 = 0x001E;
inline constexpr std::uint32_t PT_UNICODE = 0x001F;
inline constexpr std::uint32_t PT_BINARY = 0x0102;
inline constexpr std::uint32_t PT_MV_BINARY = 0x1102;

constexpr std::uint32_t propType(std::uint32_t tag) {
    return tag & 0xFFFF;
}
constexpr std::uint32_t propId(std::uint32_t tag) {
    return tag >> 16;
}
constexpr std::uint32_t changeType(std::uint32_t tag, std::uint32_t type) {
    return (tag & 0xFFFF0000u) | type;
}

inline constexpr std::uint32_t PR_ENTRYID = 0x0FFF0102;
inline constexpr std::uint32_t PR_OBJECT_TYPE = 0x0FFE0003;
inline constexpr std::uint32_t PR_CONTAINER_FLAGS = 0x36000003;
inline constexpr std::uint32_t PR_DISPLAY_NAME = 0x3001001F;
inline constexpr std::uint32_t PR_ADDRTYPE = 0x3002001F;
inline constexpr std::uint32_t PR_EMAIL_ADDRESS = 0x3003001F;
inline constexpr std::uint32_t PR_DEF_CREATE_MAILUSER = 0x36120102;
inline constexpr std::uint32_t PR_DEF_CREATE_DL = 0x36110102;
/// The member entry identifiers of a distribution list.
inline constexpr std::uint32_t PR_WAB_DL_ENTRIES = 0x66001102;

/// One property value. Text is UTF-8 here (the library's wide text, converted at its edge);
/// a PT_ERROR value carries its error code in `number`.
struct PropValue {
    std::uint32_t tag = 0;
    std::string text;
    std::string binary;
    std::int32_t number = 0;
    std::vector<std::string> binaries;

    std::uint32_t type() const { return propType(tag); }
    bool isError() const { return type() == PT_ERROR; }
};

using Row = std::vector<PropValue>;

/// One problem SetProps reports: the position of the property and its error code.
struct PropProblem {
    std::uint32_t index = 0;
    std::uint32_t tag = 0;
    HRESULT code = 0;
};

class Table {
  public:
    virtual ~Table() = default;
    virtual HRESULT setColumns(const std::vector<std::uint32_t>& tags) = 0;
    virtual HRESULT queryColumns(std::vector<std::uint32_t>& tags) = 0;
    virtual HRESULT getRowCount(std::uint32_t& count) = 0;
    /// To the first row (BOOKMARK_BEGINNING).
    virtual HRESULT seekRowToBeginning() = 0;
    /// At most `count` rows from the cursor on, each with the columns set; fewer at the end.
    virtual HRESULT queryRows(int count, std::vector<Row>& rows) = 0;
};

/// A property object: a mail user, a distribution list or a container, opened or new.
class PropObject {
  public:
    virtual ~PropObject() = default;
    virtual HRESULT getProps(const std::vector<std::uint32_t>& tags,
                             std::vector<PropValue>& out) = 0;
    virtual HRESULT setProps(const std::vector<PropValue>& values,
                             std::vector<PropProblem>& problems) = 0;
    virtual HRESULT saveChanges(std::uint32_t flags) = 0;
};

/// A container (the address book's, a folder or a distribution list).
class Container : public PropObject {
  public:
    virtual HRESULT getContentsTable(std::uint32_t flags, std::unique_ptr<Table>& table) = 0;
    virtual HRESULT getHierarchyTable(std::uint32_t flags, std::unique_ptr<Table>& table) = 0;
    /// Opens an entry of this container; a folder or a list opens as a container.
    virtual HRESULT openEntry(const std::string& entryId, std::shared_ptr<Container>& out) = 0;
    /// A new entry from a template identifier; in a distribution list, `entryId` names an
    /// existing entry that becomes a member.
    virtual HRESULT createEntry(const std::string& entryId, std::uint32_t flags,
                                std::shared_ptr<PropObject>& out) = 0;
};

class AddressBook {
  public:
    virtual ~AddressBook() = default;
    virtual HRESULT getPAB(std::string& entryId) = 0;
    virtual HRESULT openEntry(const std::string& entryId, std::shared_ptr<Container>& out) = 0;
};

/// The library object: its memory allocation.
class WabObject {
  public:
    virtual ~WabObject() = default;
    virtual HRESULT allocateBuffer(std::size_t bytes) = 0;
    virtual void freeBuffer() {}
};

/// WABOpen's parameter record.
struct WabParams {
    std::uint32_t cbSize = 32;
    std::string fileName;  ///< "": the user's default store
    std::uint32_t flags = 0;
};

/// The loaded library and its entry point.
class Library {
  public:
    virtual ~Library() = default;
    /// Loads the library; false with the system's text for the failure in `error`.
    virtual bool load(std::string& error) = 0;
    /// False when the library has no "WABOpen".
    virtual bool hasEntryPoint() { return true; }
    virtual HRESULT wabOpen(const WabParams& params, std::shared_ptr<AddressBook>& addressBook,
                            std::shared_ptr<WabObject>& wabObject) = 0;
};

/// A library that never loads, with `error` as the system's text (no Windows Address Book here).
std::shared_ptr<Library> unavailableLibrary(std::string error);

}  // namespace vesk::wab

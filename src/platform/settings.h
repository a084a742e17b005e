// The settings store that stands in for the Windows registry. Our own keys
// (HKEY_CURRENT_USER "Software\Vesk" and below) live in one text file a person can read and
// edit; other programs' keys are read, never written, from a Wine prefix when there is one.
// Key and value names compare without regard to ASCII letter case, as the registry's do.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/trace.h"

namespace vesk {

enum class RootKey { CurrentUser, LocalMachine };

/// Value types, numbered as the registry numbers them.
enum class ValueType : std::uint32_t {
    String = 1,
    ExpandString = 2,
    Binary = 3,
    Number = 4,
    MultiString = 7,
};

/// Result codes, numbered as the registry's error codes so that callers and messages match.
constexpr int kErrorSuccess = 0;
constexpr int kErrorFileNotFound = 2;  ///< key or value absent
constexpr int kErrorAccessDenied = 5;  ///< a key that is not ours to change
constexpr int kErrorInvalidData = 13;  ///< also: "the key cannot be opened" for ReadRegistryValue
constexpr int kErrorMoreData = 234;
constexpr int kErrorNoMoreItems = 259;
constexpr int kErrorCantWrite = 1013;  ///< the settings file could not be written

/// Our own part of HKEY_CURRENT_USER.
inline constexpr std::string_view kOwnKey = "Software\\Vesk";

struct SettingValue {
    ValueType type = ValueType::String;
    std::string text;                  ///< String, ExpandString; raw bytes for Binary
    std::uint32_t number = 0;          ///< Number
    std::vector<std::string> strings;  ///< MultiString, without the terminators

    static SettingValue ofText(std::string t, ValueType type = ValueType::String);
    static SettingValue ofNumber(std::uint32_t n);
    static SettingValue ofStrings(std::vector<std::string> list);

    /// The value as ReadRegistryValue hands it out: text; a number in decimal; a multi-string
    /// as its strings each followed by a NUL, then the final NUL.
    std::string flatText() const;
    /// The size the value takes in the registry in bytes (two per UTF-16 unit, terminators
    /// included), e.g. 2 × (n + m + 3) for a two-string multi-string.
    std::size_t registrySize() const;

    bool operator==(const SettingValue&) const = default;
};

/// One key of a settings tree: its values and sub-keys, both ordered by folded name.
class SettingsKey {
  public:
    explicit SettingsKey(std::string name = {}) : m_name(std::move(name)) {}

    const std::string& name() const { return m_name; }
    const SettingsKey* child(std::string_view name) const;
    SettingsKey* child(std::string_view name);
    SettingsKey& childOrNew(std::string_view name);
    bool removeChild(std::string_view name);
    /// Sub-key names in the registry's enumeration order (alphabetical, without case).
    std::vector<std::string> childNames() const;

    const SettingValue* value(std::string_view name) const;
    void setValue(std::string_view name, SettingValue v);
    bool removeValue(std::string_view name);
    /// (name, value) pairs in folded-name order.
    std::vector<std::pair<std::string, const SettingValue*>> values() const;

    bool empty() const { return m_children.empty() && m_values.empty(); }
    /// The key at a backslash path below this one (empty components ignored), or nullptr.
    const SettingsKey* find(std::string_view path) const;
    SettingsKey* find(std::string_view path);
    SettingsKey& findOrNew(std::string_view path);

  private:
    std::string m_name;
    std::map<std::string, std::unique_ptr<SettingsKey>> m_children;
    std::map<std::string, std::pair<std::string, SettingValue>> m_values;
};

/// The operations the program needs of the registry.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    virtual bool keyExists(RootKey root, std::string_view key) = 0;
    /// 0, or kErrorFileNotFound when the key or the value is absent.
    virtual int readValue(RootKey root, std::string_view key, std::string_view name,
                          SettingValue& out) = 0;
    /// Creates the key when needed.
    virtual int writeValue(RootKey root, std::string_view key, std::string_view name,
                           const SettingValue& value) = 0;
    virtual int deleteValue(RootKey root, std::string_view key, std::string_view name) = 0;
    virtual int createKey(RootKey root, std::string_view key) = 0;
    /// The key and everything below it.
    virtual int deleteKey(RootKey root, std::string_view key) = 0;
    /// Sub-key names in enumeration order; kErrorFileNotFound when the key is absent.
    virtual int subKeys(RootKey root, std::string_view key, std::vector<std::string>& names) = 0;
};

/// True when `key` of `root` is one of ours, which the store writes.
bool isOwnKey(RootKey root, std::string_view key);

/// The store for tests: every key of both roots lives in memory and can be written.
/// `failWrites` makes every change fail with kErrorCantWrite, as a full disk would.
class MemorySettingsStore : public SettingsStore {
  public:
    bool keyExists(RootKey root, std::string_view key) override;
    int readValue(RootKey root, std::string_view key, std::string_view name,
                  SettingValue& out) override;
    int writeValue(RootKey root, std::string_view key, std::string_view name,
                   const SettingValue& value) override;
    int deleteValue(RootKey root, std::string_view key, std::string_view name) override;
    int createKey(RootKey root, std::string_view key) override;
    int deleteKey(RootKey root, std::string_view key) override;
    int subKeys(RootKey root, std::string_view key, std::vector<std::string>& names) override;

    SettingsKey& tree(RootKey root) { return root == RootKey::CurrentUser ? m_user : m_machine; }
    bool failWrites = false;

  private:
    SettingsKey m_user;
    SettingsKey m_machine;
};

/// A line of the file that was not understood, kept to be written back as it was.
struct KeptLine {
    std::string key;   ///< the key path it stood under ("" before any key or after a bad one)
    std::string line;  ///< as it was, without its line end
};

/// The store of a Linux user: our keys in `settingsFile`, other programs' keys from
/// `winePrefix` (user.reg for HKEY_CURRENT_USER, system.reg for HKEY_LOCAL_MACHINE) when
/// given and present. The file is read again whenever it changed on disk, so two runs that
/// save settings one after the other do not undo each other.
class FileSettingsStore : public SettingsStore {
  public:
    /// Problems with the file (lines not understood, a failed save) go to `trace` when given.
    FileSettingsStore(std::string settingsFile, std::string winePrefix, TraceSink* trace = nullptr);

    bool keyExists(RootKey root, std::string_view key) override;
    int readValue(RootKey root, std::string_view key, std::string_view name,
                  SettingValue& out) override;
    int writeValue(RootKey root, std::string_view key, std::string_view name,
                   const SettingValue& value) override;
    int deleteValue(RootKey root, std::string_view key, std::string_view name) override;
    int createKey(RootKey root, std::string_view key) override;
    int deleteKey(RootKey root, std::string_view key) override;
    int subKeys(RootKey root, std::string_view key, std::vector<std::string>& names) override;

    ~FileSettingsStore() override;
    FileSettingsStore(const FileSettingsStore&) = delete;
    FileSettingsStore& operator=(const FileSettingsStore&) = delete;

    const std::string& settingsFile() const { return m_file; }

    /// From now on changes are kept in memory (and seen by reads) until flush(): a command
    /// that saves many settings writes the file once.
    void holdWrites() { m_holding = true; }
    /// Writes the changes held back, over what the file holds by then; 0, or the error of
    /// the write. The destructor flushes too.
    int flush();

  private:
    /// Changes our keys: 0 (or kUnchanged) from `op` means done.
    using Change = std::function<int(SettingsKey&)>;
    int change(const Change& op);
    const SettingsKey* lookup(RootKey root, std::string_view key);
    bool reloadOwn();
    void note(const std::string& text) const;
    int saveOwn();
    const SettingsKey& wine(RootKey root);

    std::string m_file;
    std::string m_winePrefix;
    SettingsKey m_own;             ///< HKEY_CURRENT_USER, holding only "Software\Vesk"
    std::vector<KeptLine> m_kept;  ///< the file's lines not understood, written back as they were
    std::string m_unparsedText;    ///< the whole file when it held such lines
    std::int64_t m_stamp = -1;
    bool m_ownUnreadable = false;
    bool m_holding = false;
    std::vector<Change> m_pending;  ///< held back; replayed if the file changed meanwhile
    std::unique_ptr<SettingsKey> m_wineUser;
    std::unique_ptr<SettingsKey> m_wineMachine;
    bool m_wine64 = false;
    TraceSink* m_trace;
};

/// $VESK_CONFIG_DIR/settings.reg, else $XDG_CONFIG_HOME/vesk/settings.reg, else
/// ~/.config/vesk/settings.reg.
std::string defaultSettingsFile();
/// $WINEPREFIX, else ~/.wine; empty when that folder holds no registry files.
std::string defaultWinePrefix();

/// Reads one value of the process-wide store into `out`: 0; 13 when the key cannot be
/// opened; kErrorFileNotFound when the value is absent. A value of zero length gives "".
/// There is no length limit: a value is handed out whole.
int ReadRegistryValue(SettingsStore& store, RootKey root, std::string_view subKey,
                      std::string_view valueName, std::string& out);
/// Writes one value, creating the key when needed. `data` of a multi-string holds its strings
/// each followed by a NUL, then a final NUL (as flatText gives it); of a number, its decimal text.
int WriteRegistryValue(SettingsStore& store, RootKey root, std::string_view subKey,
                       std::string_view valueName, std::string_view data, ValueType type);

}  // namespace vesk

#include "discovery/applications.h"

#include <array>
#include <cctype>

#include "platform/prompt.h"
#include "platform/settings.h"
#include "platform/trace.h"

namespace vesk {

namespace {

struct Application {
    int number;
    const char* name;
    bool slot;
};

// Numbers 3 and 4 share "Pegasus Mail"; 11 and 12 are known only to the name lookup.
constexpr Application kApplications[] = {
    {0, "Plain text address list", false},
    {1, "Netscape 3.x", true},
    {2, "Netscape 4.x", true},
    {3, "Pegasus Mail", false},
    {4, "Pegasus Mail", true},
    {5, "Comma Separated Values (CSV) File", false},
    {6, "Corel Address Book 8.x (ABX) File", false},
    {8, "Eudora", true},
    {9, "Juno", true},
    {10, "Mozilla", true},
    {11, "Pine Address Book", true},
    {12, "Simeon/Execmail exported file", false},
    {13, "Outlook Express", true},
    {14, "Mail Warrior", true},
    {15, "Becky!", true},
    {16, "Palm Desktop", true},
    {17, "Netscape 6.x/7.x", true},
    {18, "MS Outlook", true},
    {19, "Opera", true},
    {21, "Forte Agent", true},
    {23, "Thunderbird", true},
};

/// The slots DetectAllFormats fills, in the order SaveAllFormats writes them.
constexpr int kSavedOrder[] = {15, 8, 9, 14, 10, 18, 1, 2, 17, 19, 16, 4, 13, 23, 21};

std::array<std::string, kFormatCount>& slots() {
    static std::array<std::string, kFormatCount> s;
    return s;
}

std::function<void()>& detector() {
    static std::function<void()> d;
    return d;
}

bool startsLikeAPath(const std::string& v) {
    if (v.empty()) return false;
    const auto c = static_cast<unsigned char>(v[0]);
    return std::isalnum(c) != 0 || v[0] == '/' || v.starts_with("\\\\");
}

}  // namespace

int FormatNumberOf(std::string_view name, std::string_view filePath) {
    if (name == "Other") return kFormatOther;
    if (name == "Pegasus Mail") {
        return filePath.ends_with("pml") || filePath.ends_with("PML") ? 3 : 4;
    }
    for (const Application& a : kApplications) {
        if (name == a.name) return a.number;
    }
    return -1;
}

std::string FormatName(int number, bool ldifVariant) {
    if (number == 2 && ldifVariant) return "LDAP/LDIF File";
    for (const Application& a : kApplications) {
        if (a.number == number) return a.name;
    }
    return {};
}

bool hasPathSlot(int number) {
    if (number == 22) return true;  // a slot that nothing ever fills
    for (const Application& a : kApplications) {
        if (a.number == number) return a.slot;
    }
    return false;
}

std::string configuredPath(int number) {
    if (!hasPathSlot(number)) return {};
    return slots()[static_cast<std::size_t>(number)];
}

void setConfiguredPath(int number, std::string path) {
    if (hasPathSlot(number)) slots()[static_cast<std::size_t>(number)] = std::move(path);
}

std::function<void()> setFormatDetector(std::function<void()> d) {
    std::function<void()> previous = std::move(detector());
    detector() = std::move(d);
    return previous;
}

void DetectAllFormats() {
    debugTrace(0, "Detecting all formats", "Debug");
    if (detector()) detector()();
}

void SetFormatPath(const std::string& displayName, const std::string& path) {
    if (WriteRegistryValue(RootKey::CurrentUser, kFormatsKey, displayName, path,
                           ValueType::String) != kErrorSuccess) {
        prompt().message("Error writing data!", "Vesk", Buttons::Ok, Icon::None);
    }
}

void SaveAllFormats() {
    debugTrace(0, "Saving all formats to the registry", "Debug");
    for (int n : kSavedOrder) SetFormatPath(FormatName(n), configuredPath(n));
}

std::string GetFormatPath(const std::string& displayName) {
    debugTrace(0, "Checking whether this format is configured", "Debug");
    std::string value;
    int rc = ReadRegistryValue(RootKey::CurrentUser, kFormatsKey, displayName, value);
    if (rc == kErrorInvalidData) {
        DetectAllFormats();
        SaveAllFormats();
        debugTrace(0, "Checking again whether this format is configured", "Debug");
        rc = ReadRegistryValue(RootKey::CurrentUser, kFormatsKey, displayName, value);
        if (rc == kErrorInvalidData) {
            prompt().message("Error reading data!", "Vesk", Buttons::Ok, Icon::None);
            return {};
        }
    }
    if (rc == kErrorFileNotFound) return {};
    if (rc != kErrorSuccess) {
        prompt().message("The settings could not be read (error " + std::to_string(rc) + ").",
                         "Vesk", Buttons::Ok, Icon::None);
        return {};
    }
    return startsLikeAPath(value) ? value : std::string();
}

void refreshConfiguredPaths() {
    for (int n = 0; n < kFormatCount; ++n) {
        if (!hasPathSlot(n)) continue;
        const std::string name = FormatName(n);
        if (name.empty()) continue;
        std::string path = GetFormatPath(name);
        if (!path.empty()) setConfiguredPath(n, std::move(path));
    }
}

}  // namespace vesk

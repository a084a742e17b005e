#include "platform/outlook.h"

namespace vesk::outlook {

AutomationError::AutomationError(std::uint32_t code, std::string interfaceName, std::string source,
                                 std::string description)
    : std::runtime_error(description.empty() ? interfaceName : description),
      m_code(code),
      m_interface(std::move(interfaceName)),
      m_source(std::move(source)),
      m_description(std::move(description)) {}

std::string codeMeaning(std::uint32_t code) {
    switch (code) {
        case kInvalidPointer:
            return "Invalid pointer";
        case kFail:
            return "Unspecified error";
        case kClassNotRegistered:
            return "Class not registered";
        case kInvalidArgument:
            return "The parameter is incorrect.";
        default:
            return {};
    }
}

ApplicationFactory unavailableOutlook(std::string description) {
    return [description]() -> std::shared_ptr<Application> {
        throw AutomationError(kClassNotRegistered, "Outlook.Application", "Vesk", description);
    };
}

}  // namespace vesk::outlook

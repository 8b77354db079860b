#pragma once

// What an accessibility element of the AT-SPI backend refers to. Identity is
// the reference's own data, so two look-ups of the same object compare and
// hash equal without messaging anybody.

#include <cstdint>
#include <string>

#include "platform/Accessibility.h"

namespace murmo {

class AtspiElementReference final : public AXElementReference {
public:
    enum class Kind {
        // The desktop as a whole: its focus is the focus tracker's.
        systemWide,
        // An application, by process id: resolved to its bus name on use.
        application,
        // One accessible object, by its bus name and object path.
        object,
    };

    static AXElement systemWide();
    static AXElement application(std::int32_t pid);
    static AXElement object(std::string busName, std::string path);
    // The reference behind an element of this backend; null for an empty
    // element or another backend's.
    static const AtspiElementReference* of(const AXElement& element);

    Kind kind() const { return kind_; }
    std::int32_t pid() const { return pid_; }
    const std::string& busName() const { return busName_; }
    const std::string& path() const { return path_; }

    bool isEqual(const AXElementReference& other) const override;
    std::size_t hashValue() const override;

    AtspiElementReference(Kind kind, std::int32_t pid, std::string busName, std::string path)
        : kind_(kind), pid_(pid), busName_(std::move(busName)), path_(std::move(path)) {}

private:
    Kind kind_;
    std::int32_t pid_;
    std::string busName_;
    std::string path_;
};

}  // namespace murmo

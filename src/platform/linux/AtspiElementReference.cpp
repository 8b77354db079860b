#include "platform/linux/AtspiElementReference.h"

#include <functional>
#include <memory>

namespace murmo {

AXElement AtspiElementReference::systemWide() {
    return AXElement(std::make_shared<AtspiElementReference>(Kind::systemWide, 0, std::string(), std::string()));
}

AXElement AtspiElementReference::application(std::int32_t pid) {
    return AXElement(std::make_shared<AtspiElementReference>(Kind::application, pid, std::string(), std::string()));
}

AXElement AtspiElementReference::object(std::string busName, std::string path) {
    return AXElement(std::make_shared<AtspiElementReference>(Kind::object, 0, std::move(busName), std::move(path)));
}

const AtspiElementReference* AtspiElementReference::of(const AXElement& element) {
    return dynamic_cast<const AtspiElementReference*>(element.reference());
}

bool AtspiElementReference::isEqual(const AXElementReference& other) const {
    const auto* atspi = dynamic_cast<const AtspiElementReference*>(&other);
    return atspi && atspi->kind_ == kind_ && atspi->pid_ == pid_ && atspi->busName_ == busName_ &&
           atspi->path_ == path_;
}

std::size_t AtspiElementReference::hashValue() const {
    const std::hash<std::string> text;
    std::size_t hash = std::hash<int>{}(static_cast<int>(kind_));
    hash = hash * 31 + std::hash<std::int32_t>{}(pid_);
    hash = hash * 31 + text(busName_);
    return hash * 31 + text(path_);
}

}  // namespace murmo

#include "platform/sim/SimAccessibility.h"

#include <chrono>
#include <functional>

#include "runtime/Unicode.h"

namespace murmo {

namespace {

// An element of the simulated desktop. Application elements made for a pid
// without a process refer to no model element and are told apart by pid.
class SimElementReference final : public AXElementReference {
public:
    SimElementReference(SimElementID id, std::int32_t danglingPID) : id(id), danglingPID(danglingPID) {}

    bool isEqual(const AXElementReference& other) const override {
        const auto* sim = dynamic_cast<const SimElementReference*>(&other);
        return sim && sim->id == id && sim->danglingPID == danglingPID;
    }
    std::size_t hashValue() const override {
        return std::hash<std::uint64_t>{}(id) ^ (std::hash<std::int32_t>{}(danglingPID) << 1);
    }

    SimElementID id;
    std::int32_t danglingPID;
};

Duration timeoutDuration(AXMessagingTimeout timeout) {
    return std::chrono::duration_cast<Duration>(std::chrono::duration<double>(static_cast<double>(timeout)));
}

}  // namespace

struct SimAccessibility::Target {
    SimElementID id = 0;
    std::int32_t pid = 0;
    bool systemWide = false;
};

bool SimAccessibility::isProcessTrusted() { return desktop_.model().accessibilityTrusted; }

bool SimAccessibility::isProcessTrustedWithPrompt() {
    auto& model = desktop_.model();
    if (model.accessibilityTrusted) return true;
    ++model.accessibilityPrompts;
    if (model.trustsOnPrompt) model.accessibilityTrusted = true;
    return model.accessibilityTrusted;
}

AXElement SimAccessibility::applicationElement(std::int32_t pid) {
    auto& processes = desktop_.model().processes;
    auto found = processes.find(pid);
    if (found == processes.end()) return AXElement(std::make_shared<SimElementReference>(0, pid));
    return elementFor(found->second.applicationElement);
}

AXElement SimAccessibility::systemWideElement() { return elementFor(kSimSystemWideElementID); }

AXElement SimAccessibility::elementFor(SimElementID id) const {
    return AXElement(std::make_shared<SimElementReference>(id, 0));
}

SimElementID SimAccessibility::elementID(const AXElement& element) {
    const auto* sim = dynamic_cast<const SimElementReference*>(element.reference());
    return sim ? sim->id : 0;
}

AXResult<std::int32_t> SimAccessibility::ownerPID(const AXElement& element) {
    const auto id = elementID(element);
    auto& model = desktop_.model();
    SimAXCall call{.operation = SimAXOperation::ownerPID, .element = id, .startedAt = desktop_.now()};
    AXResult<std::int32_t> result;
    auto found = model.elements.find(id);
    if (id == kSimSystemWideElementID) {
        result.error = axerror::illegalArgument;
    } else if (found == model.elements.end()) {
        result.error = axerror::invalidUIElement;
    } else if (auto fault = desktop_.takeFault(SimAXOperation::ownerPID, id, found->second.pid, {})) {
        call.pid = found->second.pid;
        result.error = *fault;
    } else {
        call.pid = found->second.pid;
        result = {axerror::success, found->second.pid};
    }
    call.error = result.error;
    model.axCalls.push_back(call);
    return result;
}

std::optional<AXError> SimAccessibility::beginMessage(SimAXOperation operation, const AXElement& element,
                                                      std::string_view attribute, AXMessagingTimeout timeout,
                                                      Target& target) {
    auto& model = desktop_.model();
    target.id = elementID(element);
    target.systemWide = target.id == kSimSystemWideElementID;
    model.axCalls.push_back(SimAXCall{.operation = operation,
                                      .element = target.id,
                                      .attribute = std::string(attribute),
                                      .timeout = timeout,
                                      .startedAt = desktop_.now()});
    const auto logIndex = model.axCalls.size() - 1;
    auto finish = [&](AXError error, Duration cost) {
        desktop_.spend(cost);
        auto& call = desktop_.model().axCalls[logIndex];
        call.pid = target.pid;
        call.error = error;
        call.cost = cost;
        return error;
    };

    Duration cost = model.systemWideMessageCost;
    if (target.systemWide && attribute == axattr::focusedUIElement && model.frontmostPID) {
        // The system asks the focused application for its focus: that
        // application's delays and failures show through.
        if (auto frontmost = model.processes.find(*model.frontmostPID); frontmost != model.processes.end()) {
            target.pid = frontmost->second.pid;
            cost = frontmost->second.messageCost;
        }
    } else if (!target.systemWide) {
        auto found = model.elements.find(target.id);
        if (found == model.elements.end()) return finish(axerror::invalidUIElement, Duration::zero());
        target.pid = found->second.pid;
        auto process = model.processes.find(target.pid);
        if (process == model.processes.end()) return finish(axerror::invalidUIElement, Duration::zero());
        cost = process->second.messageCost;
    }
    if (!(timeout > 0.0f)) return finish(axerror::cannotComplete, Duration::zero());
    const auto limit = timeoutDuration(timeout);
    if (cost > limit) return finish(axerror::cannotComplete, limit);
    if (auto fault = desktop_.takeFault(operation, target.id, target.pid, attribute)) return finish(*fault, cost);
    finish(axerror::success, cost);
    return std::nullopt;
}

AXResult<AXAttributeValue> SimAccessibility::elementValue(std::optional<SimElementID> id) const {
    if (!id || !desktop_.model().elements.contains(*id)) return {axerror::noValue, std::nullopt};
    return {axerror::success, AXAttributeValue(elementFor(*id))};
}

AXResult<AXAttributeValue> SimAccessibility::answerCopy(const Target& target, std::string_view attribute) {
    auto& model = desktop_.model();
    if (target.systemWide) {
        auto frontmost = model.frontmostPID ? model.processes.find(*model.frontmostPID) : model.processes.end();
        const bool hasFrontmost = frontmost != model.processes.end();
        if (attribute == axattr::focusedApplication) {
            if (!hasFrontmost) return {axerror::noValue, std::nullopt};
            return elementValue(frontmost->second.applicationElement);
        }
        if (attribute == axattr::focusedUIElement) {
            if (!hasFrontmost) return {axerror::noValue, std::nullopt};
            const auto& host = frontmost->second;
            if (host.hidesFocusUntilManualAccessibility && !host.manualAccessibilityEnabled) {
                return {axerror::noValue, std::nullopt};
            }
            return elementValue(host.focusedElement);
        }
        if (attribute == axattr::role) return {axerror::success, AXAttributeValue(std::string("AXSystemWide"))};
        return {axerror::attributeUnsupported, std::nullopt};
    }

    const auto& element = model.elements.at(target.id);
    if (auto found = element.attributeOverrides.find(attribute); found != element.attributeOverrides.end()) {
        return {axerror::success, found->second};
    }
    const auto& process = model.processes.at(target.pid);
    if (target.id == process.applicationElement) {
        if (attribute == axattr::focusedUIElement) {
            if (process.hidesFocusUntilManualAccessibility && !process.manualAccessibilityEnabled) {
                return {axerror::noValue, std::nullopt};
            }
            return elementValue(process.focusedElement);
        }
        if (attribute == axattr::focusedWindow) return elementValue(process.focusedWindow);
    }
    auto text = [](const std::optional<std::string>& value) -> AXResult<AXAttributeValue> {
        if (!value) return {axerror::attributeUnsupported, std::nullopt};
        return {axerror::success, AXAttributeValue(*value)};
    };
    if (attribute == axattr::role) return text(element.role);
    if (attribute == axattr::subrole) return text(element.subrole);
    if (attribute == axattr::value) return text(element.value);
    if (attribute == axattr::parent) return elementValue(element.parent);
    if (attribute == axattr::selectedTextRange) {
        if (!element.selectedRange) return {axerror::attributeUnsupported, std::nullopt};
        return {axerror::success, AXAttributeValue(*element.selectedRange)};
    }
    if (attribute == axattr::selectedText) {
        if (!element.value || !element.selectedRange) return {axerror::attributeUnsupported, std::nullopt};
        auto value = unicode::toUTF16(*element.value);
        const auto range = *element.selectedRange;
        if (!value || range.location < 0 || range.length < 0 ||
            range.location + range.length > static_cast<std::int64_t>(value->size())) {
            return {axerror::failure, std::nullopt};
        }
        auto selected = unicode::fromUTF16(std::u16string_view(*value).substr(static_cast<std::size_t>(range.location),
                                                                              static_cast<std::size_t>(range.length)));
        if (!selected) return {axerror::failure, std::nullopt};
        return {axerror::success, AXAttributeValue(*selected)};
    }
    return {axerror::attributeUnsupported, std::nullopt};
}

AXResult<AXAttributeValue> SimAccessibility::copyAttributeValue(const AXElement& element, std::string_view attribute,
                                                                AXMessagingTimeout timeout) {
    Target target;
    if (auto early = beginMessage(SimAXOperation::copyAttribute, element, attribute, timeout, target)) {
        return {*early, std::nullopt};
    }
    auto result = answerCopy(target, attribute);
    desktop_.model().axCalls.back().error = result.error;
    return result;
}

AXResult<bool> SimAccessibility::isAttributeSettable(const AXElement& element, std::string_view attribute,
                                                     AXMessagingTimeout timeout) {
    Target target;
    if (auto early = beginMessage(SimAXOperation::isAttributeSettable, element, attribute, timeout, target)) {
        return {*early, std::nullopt};
    }
    if (target.systemWide) return {axerror::success, false};
    const auto& model = desktop_.model();
    const auto& found = model.elements.at(target.id);
    if (attribute == axattr::value) return {axerror::success, found.valueSettable};
    if (attribute == axattr::selectedText || attribute == axattr::selectedTextRange) {
        return {axerror::success, found.selectedTextSettable};
    }
    if (attribute == axattr::manualAccessibility) {
        return {axerror::success, model.processes.at(target.pid).applicationElement == target.id};
    }
    return {axerror::success, false};
}

AXError SimAccessibility::setAttributeValue(const AXElement& element, std::string_view attribute,
                                            const AXAttributeValue& value, AXMessagingTimeout timeout) {
    Target target;
    if (auto early = beginMessage(SimAXOperation::setAttribute, element, attribute, timeout, target)) return *early;
    auto answer = [&]() -> AXError {
        if (target.systemWide) return axerror::attributeUnsupported;
        auto& model = desktop_.model();
        auto& process = model.processes.at(target.pid);
        auto& found = model.elements.at(target.id);
        if (attribute == axattr::manualAccessibility && process.applicationElement == target.id) {
            const auto* enabled = std::get_if<bool>(&value);
            if (!enabled) return axerror::illegalArgument;
            if (process.manualAccessibilityResult == axerror::success) {
                process.manualAccessibilityEnabled = *enabled;
            }
            return process.manualAccessibilityResult;
        }
        if (attribute == axattr::selectedText) {
            const auto* text = std::get_if<std::string>(&value);
            if (!text) return axerror::illegalArgument;
            if (!found.selectedTextSettable) return axerror::attributeUnsupported;
            return desktop_.insertText(target.id, *text) ? axerror::success : axerror::failure;
        }
        if (attribute == axattr::value) {
            const auto* text = std::get_if<std::string>(&value);
            if (!text) return axerror::illegalArgument;
            if (!found.valueSettable) return axerror::attributeUnsupported;
            auto length = unicode::utf16Length(*text);
            if (!length) return axerror::illegalArgument;
            found.value = *text;
            found.selectedRange = AXTextRange{static_cast<std::int64_t>(*length), 0};
            return axerror::success;
        }
        return axerror::attributeUnsupported;
    };
    const auto error = answer();
    desktop_.model().axCalls.back().error = error;
    return error;
}

}  // namespace murmo

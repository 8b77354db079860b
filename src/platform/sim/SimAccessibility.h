#pragma once

#include "platform/Accessibility.h"
#include "platform/sim/SimDesktop.h"

namespace murmo {

// The accessibility port on the simulated desktop.
class SimAccessibility final : public Accessibility {
public:
    explicit SimAccessibility(SimDesktop& desktop) : desktop_(desktop) {}

    bool isProcessTrusted() override;
    bool isProcessTrustedWithPrompt() override;
    AXElement applicationElement(std::int32_t pid) override;
    AXElement systemWideElement() override;
    AXResult<std::int32_t> ownerPID(const AXElement& element) override;
    AXResult<AXAttributeValue> copyAttributeValue(const AXElement& element, std::string_view attribute,
                                                  AXMessagingTimeout timeout) override;
    AXResult<bool> isAttributeSettable(const AXElement& element, std::string_view attribute,
                                       AXMessagingTimeout timeout) override;
    AXError setAttributeValue(const AXElement& element, std::string_view attribute, const AXAttributeValue& value,
                              AXMessagingTimeout timeout) override;

    // The model element an AXElement of this desktop refers to (0 for none).
    static SimElementID elementID(const AXElement& element);
    AXElement elementFor(SimElementID id) const;

private:
    struct Target;
    // Resolves the element, logs the call and spends its cost. Returns the
    // error that ends the call early (invalid element, time-out, scripted
    // fault), or none when the call goes on to be answered.
    std::optional<AXError> beginMessage(SimAXOperation operation, const AXElement& element, std::string_view attribute,
                                        AXMessagingTimeout timeout, Target& target);
    AXResult<AXAttributeValue> answerCopy(const Target& target, std::string_view attribute);
    AXResult<AXAttributeValue> elementValue(std::optional<SimElementID> id) const;

    SimDesktop& desktop_;
};

}  // namespace murmo

#pragma once

#include <string>

#include "services/NativeAppLanguage.h"
#include "services/NativeStringCatalog.h"

namespace murmo {

// Why a preference could not be set. The user sees only the case's catalog
// text; the detail of a failed launch-at-login change is for the log.
struct NativePreferencesError {
    enum class Case { invalidValue, dockPolicyChangeFailed, launchAtLoginUnavailable, launchAtLoginChangeFailed };

    Case kind = Case::invalidValue;
    // The system's own description, or which confirmation failed; only for
    // launchAtLoginChangeFailed.
    std::string detail;

    static NativePreferencesError invalidValue() { return {Case::invalidValue, {}}; }
    static NativePreferencesError dockPolicyChangeFailed() { return {Case::dockPolicyChangeFailed, {}}; }
    static NativePreferencesError launchAtLoginUnavailable() { return {Case::launchAtLoginUnavailable, {}}; }
    static NativePreferencesError launchAtLoginChangeFailed(std::string detail) {
        return {Case::launchAtLoginChangeFailed, std::move(detail)};
    }

    NativeStringKey catalogKey() const;
    // The user's text in `language` (resolved as the catalog does).
    std::string localizedDescription(NativeAppLanguage language) const;
    // The English text.
    std::string errorDescription() const { return localizedDescription(NativeAppLanguage::english); }
    // For logs: the English text, and the detail when there is one.
    std::string logDescription() const;

    bool operator==(const NativePreferencesError&) const = default;
};

}  // namespace murmo

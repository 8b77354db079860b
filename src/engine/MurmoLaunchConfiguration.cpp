#include "engine/MurmoLaunchConfiguration.h"

#include "input/ShortcutSpecPayload.h"
#include "runtime/URL.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <nlohmann/json.hpp>

namespace murmo {

namespace fs = std::filesystem;

namespace {

inline constexpr std::string_view kPortReservationDomain = "MurmoPortReservation";

// --- URLs -------------------------------------------------------------------

// Any absolute URL is kept as it was written; anything else is unusable as
// the engine's base URL.
std::optional<std::string> parseAbsoluteURL(std::string_view text) {
    if (!URL::parse(text)) return std::nullopt;
    return std::string(text);
}

std::string managedCoreURL(std::uint16_t port) { return std::string(kManagedCoreURLPrefix) + std::to_string(port); }

// --- Port and token -----------------------------------------------------------

Error portReservationError(std::string_view step, int code) {
    return Error(std::string(kPortReservationDomain), code, std::strerror(code), std::string(step));
}

void logReservationFailure(const Logger& logger, const Error& error) {
    // The step and the system's cause are fixed texts, never user data.
    logger.error("Loopback port reservation failed step={} errno={} cause={}",
                 logPublic(error.reason.value_or("unknown")), logPublic(error.code), logPublic(error.message));
}

std::optional<std::string> allocateManagedCoreURL(const MurmoLaunchConfigurationServices& services) {
    auto port = services.reservePort();
    if (!port) {
        logReservationFailure(services.logger, port.error());
        return std::nullopt;
    }
    return managedCoreURL(*port);
}

std::string availableManagedCoreURL(const MurmoLaunchConfigurationServices& services) {
    return allocateManagedCoreURL(services).value_or(std::string(kDefaultCoreURL));
}

std::string makeDesktopToken(IdGenerator& ids) {
    auto bytes = ids.randomBytes(kDesktopTokenByteCount);
    bytes.resize(kDesktopTokenByteCount);
    std::string encoded(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int length =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()), bytes.data(), static_cast<int>(bytes.size()));
    encoded.resize(static_cast<std::size_t>(std::max(length, 0)));
    std::string token;
    token.reserve(encoded.size());
    for (char c : encoded) {
        if (c == '=') continue;
        token += c == '+' ? '-' : c == '/' ? '_' : c;
    }
    return token;
}

// --- Stored keys ---------------------------------------------------------------

std::optional<std::string> storedString(const DefaultsStore& defaults, std::string_view key) {
    auto value = defaults.value(key);
    if (!value || !value->is_string()) return std::nullopt;
    return value->get<std::string>();
}

// The stored engine payload wins over the stored text form; anything that
// does not decode or validate counts as not stored.
std::optional<ShortcutChoice> storedShortcut(const DefaultsStore& defaults) {
    if (auto payload = defaults.value(kNativeShortcutDefaultsKey)) {
        // Written as the payload's JSON text; an object stored directly means the same.
        auto decoded = payload->is_string()   ? ShortcutSpecPayload::decode(payload->get<std::string>())
                       : payload->is_object() ? ShortcutSpecPayload::fromJSON(*payload)
                                              : Result<ShortcutSpecPayload>(fail("MurmoJSON", 2, "not a payload"));
        if (decoded) {
            if (auto shortcut = decoded->decodedShortcut()) return shortcut;
        }
    }
    if (auto text = storedString(defaults, kShortcutDefaultsKey)) return ShortcutChoice::parse(*text);
    return std::nullopt;
}

// A checkout path as given, made absolute so it means the same folder
// wherever the engine later runs. An empty path names no checkout.
std::optional<fs::path> checkoutPath(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::error_code error;
    auto absolute = fs::absolute(fs::path(text), error);
    return error ? fs::path(text) : absolute;
}

void persist(const MurmoLaunchConfiguration& configuration, bool urlChanged, DefaultsStore& defaults) {
    if (urlChanged) defaults.set(kCoreURLDefaultsKey, configuration.coreURL);
    persistShortcut(configuration.shortcut, defaults);
    if (configuration.repoRoot) defaults.set(kRepoRootDefaultsKey, configuration.repoRoot->string());
}

}  // namespace

void persistShortcut(const ShortcutChoice& shortcut, DefaultsStore& defaults) {
    const auto writeIfChanged = [&](std::string_view key, const std::string& value) {
        if (defaults.value(key) != nlohmann::json(value)) defaults.set(key, value);
    };
    writeIfChanged(kShortcutDefaultsKey, shortcut.canonicalText());
    // The payload is written only when it encodes; the text form always is.
    if (auto encoded = ShortcutSpecPayload(shortcut).encoded()) writeIfChanged(kNativeShortcutDefaultsKey, *encoded);
}

Result<std::uint16_t> reserveLoopbackPort() {
    const int socketFD = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socketFD < 0) return fail(portReservationError("socket", errno));

    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(0);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    Result<std::uint16_t> result = fail(portReservationError("zero_port", EADDRNOTAVAIL));
    if (::bind(socketFD, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        result = fail(portReservationError("bind", errno));
    } else {
        sockaddr_in bound{};
        socklen_t length = sizeof bound;
        if (::getsockname(socketFD, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
            result = fail(portReservationError("getsockname", errno));
        } else if (const auto port = ntohs(bound.sin_port); port != 0) {
            result = port;
        }
    }
    ::close(socketFD);
    return result;
}

CoreProcessResult<MurmoLaunchConfiguration> MurmoLaunchConfiguration::isolatedManaged(
    const MurmoLaunchConfigurationServices& services) {
    auto url = allocateManagedCoreURL(services);
    if (!url) return std::unexpected(CoreProcessError::runtimeNotFound());
    MurmoLaunchConfiguration configuration;
    configuration.coreURL = std::move(*url);
    configuration.desktopToken = makeDesktopToken(services.ids);
    return configuration;
}

MurmoLaunchConfiguration MurmoLaunchConfiguration::parse(std::span<const std::string> arguments,
                                                         DefaultsStore& defaults,
                                                         const MurmoLaunchConfigurationServices& services) {
    const auto options = arguments.empty() ? arguments : arguments.subspan(1);
    const bool hasOptions = std::ranges::any_of(options, [](const std::string& a) { return a.starts_with("--"); });

    std::string fallbackURL(kDefaultCoreURL);
    if (auto stored = storedString(defaults, kCoreURLDefaultsKey)) {
        if (auto url = parseAbsoluteURL(*stored)) fallbackURL = *url;
    }

    MurmoLaunchConfiguration configuration;
    configuration.shortcut = storedShortcut(defaults).value_or(ShortcutChoice::function());
    if (auto root = storedString(defaults, kRepoRootDefaultsKey)) configuration.repoRoot = checkoutPath(*root);

    std::optional<std::string> explicitURL;
    bool urlChanged = false;
    for (std::size_t i = 0; i < options.size(); ++i) {
        const auto& option = options[i];
        const bool hasValue = i + 1 < options.size();
        if (option == "--core-url" && hasValue) {
            explicitURL = parseAbsoluteURL(options[++i]);
            urlChanged = explicitURL.has_value();
        } else if (option == "--shortcut" && hasValue) {
            if (auto shortcut = ShortcutChoice::parse(options[++i])) configuration.shortcut = *shortcut;
        } else if (option == "--launch-core") {
            configuration.launchCore = true;
        } else if (option == "--no-launch-core") {
            configuration.launchCore = false;
        } else if (option == "--repo-root" && hasValue) {
            configuration.repoRoot = checkoutPath(options[++i]);
        }
    }

    if (explicitURL) {
        configuration.coreURL = *explicitURL;
    } else if (configuration.launchCore) {
        // A launched engine gets a fresh port; a stored URL only names an
        // engine that is already running.
        configuration.coreURL = availableManagedCoreURL(services);
    } else {
        configuration.coreURL = fallbackURL;
    }

    if (hasOptions) persist(configuration, urlChanged, defaults);
    configuration.desktopToken = makeDesktopToken(services.ids);
    return configuration;
}

std::uint16_t MurmoLaunchConfiguration::corePort() const {
    const auto url = URL::parse(coreURL);
    return url ? url->port().value_or(kDefaultCorePort) : kDefaultCorePort;
}

}  // namespace murmo

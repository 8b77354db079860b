#pragma once

#include <fmt/format.h>

#include <memory>
#include <string>
#include <string_view>
#include <type_traits>

namespace murmo {

enum class LogLevel { debug, info, notice, error, fault };

enum class LogPrivacy { publicValue, privateValue, privateHashed };

// One interpolated value with its privacy marker. It refers to the value and
// renders nothing until the line is really written: private values never
// reach a sink in clear; hashed ones appear as a short stable digest, so two
// log lines about the same operation can be matched without revealing it.
// Only lives within the logging call's full expression; never store one.
template <class T>
struct LogArgument {
    const T& value;
    LogPrivacy privacy;
};

template <class T>
LogArgument<T> logPublic(const T& value) {
    return {value, LogPrivacy::publicValue};
}
template <class T>
LogArgument<T> logPrivate(const T& value) {
    return {value, LogPrivacy::privateValue};
}
template <class T>
LogArgument<T> logHashed(const T& value) {
    return {value, LogPrivacy::privateHashed};
}

template <class T>
inline constexpr bool isLogArgument = false;
template <class T>
inline constexpr bool isLogArgument<LogArgument<T>> = true;

namespace detail {
// The first four bytes of the text's SHA-256, in lower-case hex.
std::string logDigest(std::string_view text);
}  // namespace detail

struct LogRecord {
    LogLevel level = LogLevel::info;
    std::string subsystem;
    std::string category;
    // The message with every value already rendered under its privacy rule.
    std::string message;
};

class LogSink {
public:
    virtual ~LogSink() = default;
    // Lines below the sink's level are neither formatted nor written.
    virtual bool accepts(LogLevel level) const = 0;   // any thread
    virtual void write(const LogRecord& record) = 0;  // any thread
};

// A category of the "local.murmo.dev" subsystem. Cheap to copy; thread-safe
// as far as its sink is.
//
// The format is checked at compile time: one {} placeholder per value, and
// every value must say its privacy (logPublic, logPrivate or logHashed).
class Logger {
public:
    static constexpr std::string_view kSubsystem = "local.murmo.dev";

    // Without a sink, lines go to the shared standard-error sink.
    explicit Logger(std::string category, std::shared_ptr<LogSink> sink = nullptr);

    template <class... Values>
    requires(isLogArgument<Values>&&...) void log(LogLevel level, fmt::format_string<Values...> format,
                                                  const Values&... values) const {
        if (!sink_->accepts(level)) return;
        write(level, fmt::vformat(format, fmt::make_format_args(values...)));
    }
    template <class... Values>
    requires(isLogArgument<Values>&&...) void debug(fmt::format_string<Values...> format,
                                                    const Values&... values) const {
        log(LogLevel::debug, format, values...);
    }
    template <class... Values>
    requires(isLogArgument<Values>&&...) void info(fmt::format_string<Values...> format,
                                                   const Values&... values) const {
        log(LogLevel::info, format, values...);
    }
    template <class... Values>
    requires(isLogArgument<Values>&&...) void notice(fmt::format_string<Values...> format,
                                                     const Values&... values) const {
        log(LogLevel::notice, format, values...);
    }
    template <class... Values>
    requires(isLogArgument<Values>&&...) void error(fmt::format_string<Values...> format,
                                                    const Values&... values) const {
        log(LogLevel::error, format, values...);
    }
    template <class... Values>
    requires(isLogArgument<Values>&&...) void fault(fmt::format_string<Values...> format,
                                                    const Values&... values) const {
        log(LogLevel::fault, format, values...);
    }

    const std::string& category() const { return category_; }
    const std::shared_ptr<LogSink>& sink() const { return sink_; }

private:
    void write(LogLevel level, std::string message) const;

    std::string category_;
    std::shared_ptr<LogSink> sink_;
};

}  // namespace murmo

// Renders a value under its privacy rule. Log values take no formatting
// options, so what reaches the sink never depends on options a caller chose.
template <class T>
struct fmt::formatter<murmo::LogArgument<T>> {
    constexpr auto parse(fmt::format_parse_context& context) {
        auto it = context.begin();
        if (it != context.end() && *it != '}') throw fmt::format_error("log values take no formatting options");
        return it;
    }

    template <class Context>
    auto format(const murmo::LogArgument<T>& argument, Context& context) const {
        switch (argument.privacy) {
            case murmo::LogPrivacy::publicValue: return fmt::format_to(context.out(), "{}", argument.value);
            case murmo::LogPrivacy::privateHashed:
                return fmt::format_to(context.out(), "<mask.hash: '{}'>",
                                      murmo::detail::logDigest(fmt::format("{}", argument.value)));
            case murmo::LogPrivacy::privateValue: break;
        }
        return fmt::format_to(context.out(), "<private>");
    }
};

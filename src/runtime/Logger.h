#pragma once

#include <fmt/format.h>

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace murmo {

enum class LogLevel { debug, info, notice, error, fault };

enum class LogPrivacy { publicValue, privateValue, privateHashed };

// One interpolated value with its privacy marker. Private values never reach
// a sink in clear; hashed ones appear as a short stable digest, so two log
// lines about the same operation can be matched without revealing it.
struct LogValue {
    std::string text;
    LogPrivacy privacy = LogPrivacy::publicValue;

    std::string rendered() const;
};

template <class T>
LogValue logPublic(const T& value) {
    return LogValue{fmt::format("{}", value), LogPrivacy::publicValue};
}
template <class T>
LogValue logPrivate(const T& value) {
    return LogValue{fmt::format("{}", value), LogPrivacy::privateValue};
}
template <class T>
LogValue logHashed(const T& value) {
    return LogValue{fmt::format("{}", value), LogPrivacy::privateHashed};
}

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
    virtual void write(const LogRecord& record) = 0;  // any thread
};

class StderrLogSink final : public LogSink {
public:
    void write(const LogRecord& record) override;
    static std::shared_ptr<LogSink> shared();

private:
    std::mutex mutex_;
};

// Keeps records for tests to read.
class RecordingLogSink final : public LogSink {
public:
    void write(const LogRecord& record) override;
    std::vector<LogRecord> records() const;
    // True when some record's message contains `text`.
    bool contains(std::string_view text) const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<LogRecord> records_;
};

// A category of the "local.murmo.dev" subsystem. Cheap to copy; thread-safe
// as far as its sink is.
class Logger {
public:
    static constexpr std::string_view kSubsystem = "local.murmo.dev";

    explicit Logger(std::string category, std::shared_ptr<LogSink> sink = StderrLogSink::shared());

    // `format` uses {} placeholders, one per value, in order.
    template <class... Values>
    void log(LogLevel level, std::string_view format, const Values&... values) const {
        write(level, format, {toLogValue(values)...});
    }
    template <class... Values>
    void info(std::string_view format, const Values&... values) const {
        log(LogLevel::info, format, values...);
    }
    template <class... Values>
    void debug(std::string_view format, const Values&... values) const {
        log(LogLevel::debug, format, values...);
    }
    template <class... Values>
    void notice(std::string_view format, const Values&... values) const {
        log(LogLevel::notice, format, values...);
    }
    template <class... Values>
    void error(std::string_view format, const Values&... values) const {
        log(LogLevel::error, format, values...);
    }
    template <class... Values>
    void fault(std::string_view format, const Values&... values) const {
        log(LogLevel::fault, format, values...);
    }

    const std::string& category() const { return category_; }
    const std::shared_ptr<LogSink>& sink() const { return sink_; }

private:
    // A bare value must say its privacy; only LogValue is accepted.
    static const LogValue& toLogValue(const LogValue& value) { return value; }
    void write(LogLevel level, std::string_view format, std::vector<LogValue> values) const;

    std::string category_;
    std::shared_ptr<LogSink> sink_;
};

}  // namespace murmo

#include "platform/linux/AtspiObjects.h"

#include <atspi/atspi-constants.h>

#include <string_view>

#include "runtime/Unicode.h"

namespace murmo {

namespace {

// The most children one object may report: more is a peer in trouble.
constexpr std::int32_t kMaximumChildren = 100000;

AtspiObjectPath objectFrom(GVariant* reference) {
    const char* busName = nullptr;
    const char* path = nullptr;
    g_variant_get(reference, "(&s&o)", &busName, &path);
    return {busName, path};
}

std::vector<AtspiObjectPath> objectsFrom(GVariant* array) {
    std::vector<AtspiObjectPath> objects;
    GVariantIter iterator;
    g_variant_iter_init(&iterator, array);
    while (const atspi_handles::Variant child{g_variant_iter_next_value(&iterator)}) {
        objects.push_back(objectFrom(child.get()));
    }
    return objects;
}

template <class T>
AXResult<T> failed(AXError error) {
    return {error, std::nullopt};
}

}  // namespace

AtspiReply AtspiObjects::send(const AtspiObjectPath& object, const char* interface, const char* method,
                              GVariant* parameters, const char* replyType, const AtspiDeadline& deadline) {
    auto reply = bus_.call(object, interface, method, parameters, replyType, deadline);
    if (reply.error == axerror::attributeUnsupported) reply.error = unsupportedOrGone(object, interface, deadline);
    return reply;
}

AtspiReply AtspiObjects::read(const AtspiObjectPath& object, const char* interface, const char* name,
                              const AtspiDeadline& deadline) {
    auto reply = bus_.property(object, interface, name, deadline);
    if (reply.error == axerror::attributeUnsupported) reply.error = unsupportedOrGone(object, interface, deadline);
    return reply;
}

AXError AtspiObjects::unsupportedOrGone(const AtspiObjectPath& object, const char* interface,
                                        const AtspiDeadline& deadline) {
    if (std::string_view(interface) == ATSPI_DBUS_INTERFACE_ACCESSIBLE) return axerror::invalidUIElement;
    auto probe = bus_.call(object, ATSPI_DBUS_INTERFACE_ACCESSIBLE, "GetRole", nullptr, "(u)", deadline);
    if (probe.ok()) return axerror::attributeUnsupported;
    return probe.error == axerror::attributeUnsupported ? axerror::invalidUIElement : probe.error;
}

bool isNullObject(const AtspiObjectPath& object) {
    return object.busName.empty() || object.path.empty() || object.path == ATSPI_DBUS_PATH_NULL;
}

AXResult<std::uint32_t> AtspiObjects::role(const AtspiObjectPath& object, const AtspiDeadline& deadline) {
    auto reply = send(object, ATSPI_DBUS_INTERFACE_ACCESSIBLE, "GetRole", nullptr, "(u)", deadline);
    if (!reply.ok()) return failed<std::uint32_t>(reply.error);
    guint32 role = 0;
    g_variant_get(reply.body.get(), "(u)", &role);
    return {axerror::success, role};
}

AXResult<std::uint64_t> AtspiObjects::states(const AtspiObjectPath& object, const AtspiDeadline& deadline) {
    auto reply = send(object, ATSPI_DBUS_INTERFACE_ACCESSIBLE, "GetState", nullptr, "(au)", deadline);
    if (!reply.ok()) return failed<std::uint64_t>(reply.error);
    atspi_handles::Variant words(g_variant_get_child_value(reply.body.get(), 0));
    gsize count = 0;
    const auto* bits = static_cast<const guint32*>(g_variant_get_fixed_array(words.get(), &count, sizeof(guint32)));
    std::uint64_t mask = 0;
    if (count > 0) mask |= bits[0];
    if (count > 1) mask |= static_cast<std::uint64_t>(bits[1]) << 32;
    return {axerror::success, mask};
}

AXResult<std::vector<std::string>> AtspiObjects::interfaces(const AtspiObjectPath& object,
                                                            const AtspiDeadline& deadline) {
    auto reply = send(object, ATSPI_DBUS_INTERFACE_ACCESSIBLE, "GetInterfaces", nullptr, "(as)", deadline);
    if (!reply.ok()) return failed<std::vector<std::string>>(reply.error);
    std::vector<std::string> names;
    const atspi_handles::Variant array(g_variant_get_child_value(reply.body.get(), 0));
    GVariantIter iterator;
    g_variant_iter_init(&iterator, array.get());
    const char* name = nullptr;
    while (g_variant_iter_next(&iterator, "&s", &name)) names.emplace_back(name);
    return {axerror::success, std::move(names)};
}

AXResult<AtspiObjectPath> AtspiObjects::parent(const AtspiObjectPath& object, const AtspiDeadline& deadline) {
    auto reply = read(object, ATSPI_DBUS_INTERFACE_ACCESSIBLE, "Parent", deadline);
    if (!reply.ok()) return failed<AtspiObjectPath>(reply.error);
    if (!g_variant_is_of_type(reply.body.get(), G_VARIANT_TYPE("(so)"))) return failed<AtspiObjectPath>(axerror::failure);
    auto parent = objectFrom(reply.body.get());
    if (isNullObject(parent)) return failed<AtspiObjectPath>(axerror::noValue);
    return {axerror::success, std::move(parent)};
}

AXResult<std::vector<AtspiObjectPath>> AtspiObjects::children(const AtspiObjectPath& object,
                                                              const AtspiDeadline& deadline) {
    // One child at a time: GTK 4.8 answers GetChildren with the first child
    // only.
    auto count = intProperty(object, ATSPI_DBUS_INTERFACE_ACCESSIBLE, "ChildCount", deadline);
    if (!count.value) return failed<std::vector<AtspiObjectPath>>(count.error);
    if (*count.value < 0 || *count.value > kMaximumChildren) return failed<std::vector<AtspiObjectPath>>(axerror::failure);
    std::vector<AtspiObjectPath> found;
    for (std::int32_t index = 0; index < *count.value; ++index) {
        auto reply = send(object, ATSPI_DBUS_INTERFACE_ACCESSIBLE, "GetChildAtIndex", g_variant_new("(i)", index),
                               "((so))", deadline);
        if (!reply.ok()) return failed<std::vector<AtspiObjectPath>>(reply.error);
        atspi_handles::Variant child(g_variant_get_child_value(reply.body.get(), 0));
        auto path = objectFrom(child.get());
        if (!isNullObject(path)) found.push_back(std::move(path));
    }
    return {axerror::success, std::move(found)};
}

AXResult<std::vector<AtspiObjectPath>> AtspiObjects::applications(const AtspiDeadline& deadline) {
    auto reply = bus_.call(AtspiObjectPath{ATSPI_DBUS_NAME_REGISTRY, ATSPI_DBUS_PATH_ROOT},
                           ATSPI_DBUS_INTERFACE_ACCESSIBLE, "GetChildren", nullptr, "(a(so))", deadline);
    if (!reply.ok()) return failed<std::vector<AtspiObjectPath>>(reply.error);
    atspi_handles::Variant array(g_variant_get_child_value(reply.body.get(), 0));
    return {axerror::success, objectsFrom(array.get())};
}

AXResult<std::int32_t> AtspiObjects::intProperty(const AtspiObjectPath& object, const char* interface,
                                                 const char* name, const AtspiDeadline& deadline) {
    auto reply = read(object, interface, name, deadline);
    if (!reply.ok()) return failed<std::int32_t>(reply.error);
    if (!g_variant_is_of_type(reply.body.get(), G_VARIANT_TYPE_INT32)) return failed<std::int32_t>(axerror::failure);
    return {axerror::success, g_variant_get_int32(reply.body.get())};
}

AXResult<std::string> AtspiObjects::text(const AtspiObjectPath& object, const AtspiDeadline& deadline) {
    // GTK 4.8 answers GetText(0, -1) with nothing: ask for the count first.
    auto count = intProperty(object, ATSPI_DBUS_INTERFACE_TEXT, "CharacterCount", deadline);
    if (!count.value) return failed<std::string>(count.error);
    if (*count.value < 0) return failed<std::string>(axerror::failure);
    if (*count.value == 0) return {axerror::success, std::string()};
    auto reply = send(object, ATSPI_DBUS_INTERFACE_TEXT, "GetText", g_variant_new("(ii)", 0, *count.value), "(s)",
                           deadline);
    if (!reply.ok()) return failed<std::string>(reply.error);
    const char* text = nullptr;
    g_variant_get(reply.body.get(), "(&s)", &text);
    std::string value(text);
    // A text that changed between the two messages, or a peer that cut it
    // short, is no text to act on.
    const auto points = unicode::codePoints(value);
    if (!points || points->size() != static_cast<std::size_t>(*count.value)) return failed<std::string>(axerror::failure);
    return {axerror::success, std::move(value)};
}

AXResult<std::pair<std::int32_t, std::int32_t>> AtspiObjects::selection(const AtspiObjectPath& object,
                                                                        const AtspiDeadline& deadline) {
    using Range = std::pair<std::int32_t, std::int32_t>;
    auto count = send(object, ATSPI_DBUS_INTERFACE_TEXT, "GetNSelections", nullptr, "(i)", deadline);
    if (!count.ok()) return failed<Range>(count.error);
    gint32 selections = 0;
    g_variant_get(count.body.get(), "(i)", &selections);
    if (selections > 0) {
        auto reply = send(object, ATSPI_DBUS_INTERFACE_TEXT, "GetSelection", g_variant_new("(i)", 0), "(ii)",
                               deadline);
        if (!reply.ok()) return failed<Range>(reply.error);
        gint32 start = 0;
        gint32 end = 0;
        g_variant_get(reply.body.get(), "(ii)", &start, &end);
        if (start < 0 || end < 0) return failed<Range>(axerror::failure);
        return {axerror::success, Range{std::min(start, end), std::max(start, end)}};
    }
    auto caret = intProperty(object, ATSPI_DBUS_INTERFACE_TEXT, "CaretOffset", deadline);
    if (!caret.value) return failed<Range>(caret.error);
    if (*caret.value < 0) return failed<Range>(axerror::failure);
    return {axerror::success, Range{*caret.value, *caret.value}};
}

AXError AtspiObjects::confirmedCall(const AtspiObjectPath& object, const char* interface, const char* method,
                                    GVariant* parameters, const AtspiDeadline& deadline) {
    auto reply = send(object, interface, method, parameters, "(b)", deadline);
    if (!reply.ok()) return reply.error;
    gboolean done = FALSE;
    g_variant_get(reply.body.get(), "(b)", &done);
    return done ? axerror::success : axerror::failure;
}

AXError AtspiObjects::deleteText(const AtspiObjectPath& object, std::int32_t start, std::int32_t end,
                                 const AtspiDeadline& deadline) {
    return confirmedCall(object, ATSPI_DBUS_INTERFACE_EDITABLE_TEXT, "DeleteText", g_variant_new("(ii)", start, end),
                         deadline);
}

AXError AtspiObjects::insertText(const AtspiObjectPath& object, std::int32_t position, const std::string& text,
                                 const AtspiDeadline& deadline) {
    if (text.size() > static_cast<std::size_t>(G_MAXINT32)) return axerror::illegalArgument;
    return confirmedCall(object, ATSPI_DBUS_INTERFACE_EDITABLE_TEXT, "InsertText",
                         g_variant_new("(isi)", position, text.c_str(), static_cast<std::int32_t>(text.size())),
                         deadline);
}

AXError AtspiObjects::setCaret(const AtspiObjectPath& object, std::int32_t offset, const AtspiDeadline& deadline) {
    return confirmedCall(object, ATSPI_DBUS_INTERFACE_TEXT, "SetCaretOffset", g_variant_new("(i)", offset), deadline);
}

AXError AtspiObjects::setTextContents(const AtspiObjectPath& object, const std::string& text,
                                      const AtspiDeadline& deadline) {
    return confirmedCall(object, ATSPI_DBUS_INTERFACE_EDITABLE_TEXT, "SetTextContents",
                         g_variant_new("(s)", text.c_str()), deadline);
}

}  // namespace murmo

// A GTK 4 window the accessibility tests drive: an entry, a text view, a
// password entry and a terminal-like pane that takes text only by pasting
// (Ctrl+V or Ctrl+Shift+V append the CLIPBOARD text; it exposes no text to
// accessibility). Run it with GTK_A11Y=none to hide it from the
// accessibility bus.
//
// Commands, one a line on standard input; each is answered by one line:
//   focus <widget>                 -> ok
//   read <widget>                  -> text <escaped text>
//   set <widget> <escaped text>    -> ok            (replaces the whole text)
//   select <widget> <start> <end>  -> ok            (character offsets)
//   hang <ms>                      -> hanging       (then blocks the main loop)
//   quit                           -> (exits)
// <widget> is entry, view, password or paste. Unknown input answers
// "error <reason>". Once the window is mapped and active the program prints
// "ready <pid> <window id>" (the window id in hexadecimal, 0x...). Text is
// escaped as "\\" for a backslash and "\xHH" for control bytes; other UTF-8
// passes as is. End of input ends the program.

#include <gdk/x11/gdkx.h>
#include <glib-unix.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "LineEscaping.h"

namespace {

struct App {
    GtkWidget* window = nullptr;
    GtkWidget* entry = nullptr;
    GtkWidget* view = nullptr;
    GtkWidget* password = nullptr;
    GtkWidget* paste = nullptr;
    GtkWidget* pasteLabel = nullptr;
    std::string pasted;
    bool announced = false;
    bool running = true;
    std::string pendingInput;
};

using murmo::testing::line_escaping::escaped;
using murmo::testing::line_escaping::unescaped;

void reply(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

GtkWidget* widgetNamed(App& app, std::string_view name) {
    if (name == "entry") return app.entry;
    if (name == "view") return app.view;
    if (name == "password") return app.password;
    if (name == "paste") return app.paste;
    return nullptr;
}

GtkTextBuffer* bufferOf(App& app) { return gtk_text_view_get_buffer(GTK_TEXT_VIEW(app.view)); }

std::string textOf(App& app, GtkWidget* widget) {
    if (widget == app.paste) return app.pasted;
    if (widget == app.view) {
        GtkTextIter start;
        GtkTextIter end;
        gtk_text_buffer_get_bounds(bufferOf(app), &start, &end);
        char* text = gtk_text_buffer_get_text(bufferOf(app), &start, &end, TRUE);
        std::string copy(text);
        g_free(text);
        return copy;
    }
    return gtk_editable_get_text(GTK_EDITABLE(widget));
}

void setText(App& app, GtkWidget* widget, const std::string& text) {
    if (widget == app.paste) {
        app.pasted = text;
        gtk_label_set_text(GTK_LABEL(app.pasteLabel), text.c_str());
    } else if (widget == app.view) {
        gtk_text_buffer_set_text(bufferOf(app), text.c_str(), -1);
    } else {
        gtk_editable_set_text(GTK_EDITABLE(widget), text.c_str());
    }
}

bool selectRange(App& app, GtkWidget* widget, int start, int end) {
    if (widget == app.paste) return false;
    if (widget == app.view) {
        GtkTextIter from;
        GtkTextIter to;
        gtk_text_buffer_get_iter_at_offset(bufferOf(app), &from, start);
        gtk_text_buffer_get_iter_at_offset(bufferOf(app), &to, end);
        gtk_text_buffer_select_range(bufferOf(app), &to, &from);
        return true;
    }
    gtk_editable_select_region(GTK_EDITABLE(widget), start, end);
    return true;
}

void runCommand(App& app, const std::string& line) {
    const auto space = line.find(' ');
    const std::string verb = line.substr(0, space);
    const std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
    const auto argumentEnd = rest.find(' ');
    const std::string target = rest.substr(0, argumentEnd);
    const std::string tail = argumentEnd == std::string::npos ? std::string() : rest.substr(argumentEnd + 1);

    if (verb == "quit") {
        app.running = false;
        return;
    }
    if (verb == "hang") {
        reply("hanging");
        g_usleep(static_cast<gulong>(std::strtoul(rest.c_str(), nullptr, 10)) * 1000);
        return;
    }
    GtkWidget* widget = widgetNamed(app, target);
    if (!widget) return reply("error unknown widget '" + escaped(target) + "'");
    if (verb == "focus") {
        gtk_widget_grab_focus(widget);
        // Entries hand the focus to an inner text widget.
        GtkWidget* focus = gtk_root_get_focus(GTK_ROOT(app.window));
        const bool focused = focus && (focus == widget || gtk_widget_is_ancestor(focus, widget));
        return reply(focused ? "ok" : "error focus refused");
    }
    if (verb == "read") return reply("text " + escaped(textOf(app, widget)));
    if (verb == "set") {
        setText(app, widget, unescaped(tail));
        return reply("ok");
    }
    if (verb == "select") {
        int start = 0;
        int end = 0;
        if (std::sscanf(tail.c_str(), "%d %d", &start, &end) != 2) return reply("error select needs two offsets");
        return reply(selectRange(app, widget, start, end) ? "ok" : "error not selectable");
    }
    reply("error unknown command '" + escaped(verb) + "'");
}

gboolean onInput(gint descriptor, GIOCondition, gpointer data) {
    auto& app = *static_cast<App*>(data);
    char buffer[4096];
    // What has arrived, not a full buffer: the next command may wait on our
    // answer.
    const ssize_t count = read(descriptor, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) return G_SOURCE_CONTINUE;
    if (count <= 0) {
        app.running = false;
        return G_SOURCE_REMOVE;
    }
    app.pendingInput.append(buffer, static_cast<std::size_t>(count));
    for (auto end = app.pendingInput.find('\n'); end != std::string::npos; end = app.pendingInput.find('\n')) {
        const std::string line = app.pendingInput.substr(0, end);
        app.pendingInput.erase(0, end + 1);
        runCommand(app, line);
    }
    return G_SOURCE_CONTINUE;
}

void onClipboardText(GObject* source, GAsyncResult* result, gpointer data) {
    auto& app = *static_cast<App*>(data);
    char* text = gdk_clipboard_read_text_finish(GDK_CLIPBOARD(source), result, nullptr);
    if (!text) return;
    app.pasted += text;
    g_free(text);
    gtk_label_set_text(GTK_LABEL(app.pasteLabel), app.pasted.c_str());
}

gboolean onPasteKey(GtkEventControllerKey*, guint keyval, guint, GdkModifierType state, gpointer data) {
    auto& app = *static_cast<App*>(data);
    const bool control = (state & GDK_CONTROL_MASK) != 0;
    if (!control || (keyval != GDK_KEY_v && keyval != GDK_KEY_V)) return FALSE;
    GdkClipboard* clipboard = gtk_widget_get_clipboard(app.paste);
    gdk_clipboard_read_text_async(clipboard, nullptr, onClipboardText, &app);
    return TRUE;
}

void announceWhenActive(App& app) {
    if (app.announced || !gtk_widget_get_mapped(app.window) || !gtk_window_is_active(GTK_WINDOW(app.window))) return;
    GdkSurface* surface = gtk_native_get_surface(GTK_NATIVE(app.window));
    if (!surface || !GDK_IS_X11_SURFACE(surface)) return;
    app.announced = true;
    char line[96];
    std::snprintf(line, sizeof line, "ready %d 0x%lx", static_cast<int>(getpid()),
                  static_cast<unsigned long>(gdk_x11_surface_get_xid(surface)));
    reply(line);
}

void onActiveChanged(GObject*, GParamSpec*, gpointer data) { announceWhenActive(*static_cast<App*>(data)); }

GtkWidget* labelled(GtkWidget* box, const char* label, GtkWidget* widget) {
    gtk_box_append(GTK_BOX(box), gtk_label_new(label));
    gtk_box_append(GTK_BOX(box), widget);
    return widget;
}

void build(App& app) {
    app.window = gtk_window_new();
    gtk_window_set_title(GTK_WINDOW(app.window), "murmo-gtk-test-app");
    gtk_window_set_default_size(GTK_WINDOW(app.window), 480, 360);
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
    gtk_window_set_child(GTK_WINDOW(app.window), box);

    app.entry = labelled(box, "Entry", gtk_entry_new());
    app.view = labelled(box, "Text view", gtk_text_view_new());
    gtk_widget_set_size_request(app.view, -1, 80);
    app.password = labelled(box, "Password", gtk_password_entry_new());

    // A terminal-like pane: focusable, a group with no text interface of its own
    // (GTK 4.8 has no terminal role).
    app.paste = GTK_WIDGET(g_object_new(GTK_TYPE_BOX, "accessible-role", GTK_ACCESSIBLE_ROLE_GROUP, "orientation",
                                        GTK_ORIENTATION_VERTICAL, "focusable", TRUE, "focus-on-click", TRUE, nullptr));
    gtk_widget_set_size_request(app.paste, -1, 60);
    app.pasteLabel = gtk_label_new("");
    gtk_box_append(GTK_BOX(app.paste), app.pasteLabel);
    GtkEventController* keys = gtk_event_controller_key_new();
    g_signal_connect(keys, "key-pressed", G_CALLBACK(onPasteKey), &app);
    gtk_widget_add_controller(app.paste, keys);
    labelled(box, "Paste", app.paste);

    g_signal_connect(app.window, "notify::is-active", G_CALLBACK(onActiveChanged), &app);
    g_signal_connect_swapped(app.window, "map", G_CALLBACK(+[](gpointer data) {
                                 announceWhenActive(*static_cast<App*>(data));
                             }),
                             &app);
    g_signal_connect_swapped(app.window, "close-request", G_CALLBACK(+[](gpointer data) -> gboolean {
                                 static_cast<App*>(data)->running = false;
                                 return FALSE;
                             }),
                             &app);
}

}  // namespace

int main() {
    gtk_init();
    App app;
    build(app);

    g_unix_fd_add(STDIN_FILENO, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), onInput, &app);

    gtk_window_present(GTK_WINDOW(app.window));
    gtk_widget_grab_focus(app.entry);
    while (app.running) g_main_context_iteration(nullptr, TRUE);

    gtk_window_destroy(GTK_WINDOW(app.window));
    return 0;
}

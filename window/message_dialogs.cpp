#include "window/message_dialogs.h"

#include <gtkmm/application.h>
#include <gtkmm/dialog.h>
#include <glibmm/markup.h>
#include <gtkmm/label.h>
#include <gtkmm/messagedialog.h>

namespace vistra {

Glib::ustring takeMessageLogMarkup()
{
    MessageLog& log = MessageLog::instance();
    Glib::ustring markup;
    while (!log.empty()) {
        const MessageLog::Entry entry = log.pop();
        if (entry.level == Level::Warning)
            markup += "<span color='#ce7e00' weight='bold'>";
        else if (entry.level == Level::Error)
            markup += "<span color='#a00000' weight='bold'>";
        else
            continue;
        markup += Glib::Markup::escape_text(entry.text) + "</span>\n";
    }
    return markup;
}

void showMessageLogDialog(Gtk::Window* parent)
{
    const Glib::ustring markup = takeMessageLogMarkup();
    if (markup.empty())
        return;
    Gtk::Dialog dialog("Errors and warnings", false);
    Gtk::Label label;
    label.set_markup(markup);
    label.set_margin_start(10);
    label.set_margin_end(10);
    label.set_selectable(true);
    dialog.get_content_area()->pack_end(label, true, true, 10);
    dialog.show_all_children();
    if (parent) {
        dialog.set_transient_for(*parent);
        runDialog(dialog);
        return;
    }
    if (dialogRunnerSet()) {
        runDialog(dialog);
        return;
    }
    // No main loop runs: the dialog is the only window of a short-lived application,
    // which ends when the dialog is closed.
    auto app = Gtk::Application::create("", Gio::APPLICATION_NON_UNIQUE);
    dialog.signal_response().connect([&dialog](int) { dialog.hide(); });
    app->run(dialog);
}

void showMessageEntry(Gtk::Window& parent, const MessageLog::Entry& entry)
{
    const char* primary = "Information";
    Gtk::MessageType type = Gtk::MESSAGE_INFO;
    switch (entry.level) {
    case Level::Info:
        break;
    case Level::Warning:
        primary = "Warning";
        type = Gtk::MESSAGE_WARNING;
        break;
    case Level::Error:
        primary = "Error";
        type = Gtk::MESSAGE_ERROR;
        break;
    }
    Gtk::MessageDialog dialog(parent, primary, false, type, Gtk::BUTTONS_OK, true);
    dialog.set_secondary_text(entry.text, false);
    runDialog(dialog);
}

} // namespace vistra

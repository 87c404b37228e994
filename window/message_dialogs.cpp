#include "window/message_dialogs.h"

#include "views/work_area.h"

#include <glibmm/convert.h>
#include <glibmm/miscutils.h>
#include <glibmm/markup.h>
#include <gtkmm/application.h>
#include <gtkmm/dialog.h>
#include <gtkmm/label.h>
#include <gtkmm/messagedialog.h>
#include <gtkmm/scrolledwindow.h>

#include <filesystem>

namespace vistra {

Glib::ustring takeMessageLogMarkup()
{
    MessageLog& log = MessageLog::instance();
    Glib::ustring markup;
    std::size_t shown = 0;
    std::size_t more = 0;
    while (!log.empty()) {
        const MessageLog::Entry entry = log.pop();
        const char* span = nullptr;
        if (entry.level == Level::Warning)
            span = "<span color='#ce7e00' weight='bold'>";
        else if (entry.level == Level::Error)
            span = "<span color='#a00000' weight='bold'>";
        if (!span)
            continue;
        if (shown == kMaxShownLogEntries) {
            ++more;
            continue;
        }
        ++shown;
        markup += span;
        markup += Glib::Markup::escape_text(entry.text) + "</span>\n";
    }
    if (more != 0)
        markup += Glib::ustring::compose("… and %1 more\n", more);
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
    // The dialog is as large as its text needs, up to three quarters of the screen; more
    // text scrolls, so that the whole dialog stays on the screen.
    Gtk::ScrolledWindow scroll;
    scroll.set_policy(Gtk::POLICY_AUTOMATIC, Gtk::POLICY_AUTOMATIC);
    scroll.set_propagate_natural_width(true);
    scroll.set_propagate_natural_height(true);
    const Gdk::Rectangle area = workAreaOf(parent);
    if (area.get_width() > 0 && area.get_height() > 0) {
        scroll.set_max_content_width(area.get_width() * 3 / 4);
        scroll.set_max_content_height(area.get_height() * 3 / 4);
    }
    scroll.add(label);
    dialog.get_content_area()->pack_end(scroll, true, true, 10);
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

Glib::ustring helpMarkup(const Glib::ustring& guidePath)
{
    // The blanks line the descriptions up in the monospace font.
    static const char* const lines[] = {
        "<span foreground='black' font_family='monospace' >PLOT",
        "<b>Left click</b>                show main ruler",
        "<b>Right click</b>               show secondary ruler",
        "<b>Ctrl + Right click</b>        open dropdown menu",
        "<b>Mouse scroll wheel</b>        zoom in/out in plot",
        "<b>Shift + scroll wheel</b>      pan left/right in plot",
        "<b>Arrow keys</b>                pan and zoom in plot",
        "",
        "",
        "SIGNAL LIST",
        "<b>Right click</b>         open dropdown menu",
        "",
        "",
        "KEYS",
        "<b>F1</b>      show this help",
        "<b>F5</b>      update signals",
        "<b>F11</b>     full screen",
        "<b>F12</b>     hide signal list",
        "<b>Ctrl-C</b>  copy signals to clipboard",
        "<b>Ctrl-A</b>  dump all data in selected interval to file",
        "<b>T</b>       toggle how time is displayed",
        "<b>D</b>       toggle show delta/value on secondary ruler",
        "<b>Alt-R</b>   re-store selected signals list",
        "<b>Alt-S</b>   store selected signals list",
        "<b>Alt-Z</b>   crop selected area",
        "<b>Alt-X</b>   uncrop to show full plot again",
        "<b>Esc</b>     delete rulers",
        "",
        "</span><span foreground='black' font_family='monospace' ><b>Version:</b> 5.04",
        "",
        "</span><span font_family='monospace' weight='bold'><a href=\"file:///",
    };
    Glib::ustring text;
    for (const char* line : lines) {
        if (!text.empty())
            text += '\n';
        text += line;
    }
    return text + Glib::Markup::escape_text(guidePath) + "\">Open Quick Guide</a></span>";
}

void showHelpDialog(Gtk::Window& parent, const Glib::ustring& guidePath)
{
    Gtk::MessageDialog dialog(parent, "Commands and controls", false, Gtk::MESSAGE_OTHER, Gtk::BUTTONS_OK, true);
    dialog.set_secondary_text(helpMarkup(guidePath), true);
    runDialog(dialog);
}

bool confirmOverwrite(const std::string& path)
{
    // A link that leads nowhere is something there too: writing would create its target.
    std::error_code error;
    if (std::filesystem::symlink_status(path, error).type() == std::filesystem::file_type::not_found)
        return true;
    const Glib::ustring text = "\"" + Glib::filename_display_basename(path) + "\" already exists, do you want to overwrite it?";
    Gtk::MessageDialog question(text, false, Gtk::MESSAGE_QUESTION, Gtk::BUTTONS_YES_NO);
    return runDialog(question) == Gtk::RESPONSE_YES;
}

} // namespace vistra

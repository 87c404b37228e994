#pragma once
// The analysis windows of one kind (histogram or statistics), at most one per signal, by
// the signal's full name. The registry owns them: it opens or shows a signal's window on
// request, destroys a window after it was hidden (its close button) and closes them all
// when the main window reloads its data. GUI thread only.
//
// T is built from a std::shared_ptr<Signal> (and shows itself), and has show(),
// get_visible() and signal_hide(), as a Gtk::Window has.
#include "core/signal.h"
#include "views/handler_guard.h"

#include <glibmm/main.h>
#include <glibmm/ustring.h>
#include <sigc++/connection.h>
#include <sigc++/adaptors/bind.h>
#include <sigc++/functors/mem_fun.h>
#include <sigc++/functors/slot.h>
#include <sigc++/trackable.h>

#include <functional>
#include <map>
#include <memory>

namespace vistra {

template <class T>
class OpenWindows : public sigc::trackable {
public:
    // Connects a slot to the main window's reload notification; called on the first open.
    using ConnectReload = std::function<sigc::connection(const sigc::slot<void()>& slot)>;

    explicit OpenWindows(ConnectReload connectReload) : connectReload(std::move(connectReload)) {}
    virtual ~OpenWindows()
    {
        reload.disconnect();
        closeAllWindows();
    }
    OpenWindows(const OpenWindows&) = delete;
    OpenWindows& operator=(const OpenWindows&) = delete;

    // The signal's window, made (which shows it) when there is none, then shown. A
    // visible window stays where it is.
    T& openWindow(const std::shared_ptr<Signal>& signal)
    {
        if (connectPending) {
            connectPending = false;
            reload = connectReload([this] { guardHandler("Closing the analysis windows", [this] { closeAllWindows(); }); });
        }
        const Glib::ustring key = signal->fullName;
        auto it = windows.find(key);
        if (it == windows.end()) {
            auto window = std::make_unique<T>(signal);
            T* made = window.get();
            // The window is destroyed after its hide handling has returned, never inside
            // it, and only if that very window is still the signal's and still hidden:
            // an open request may have come in between.
            // The pending close ends with the registry (it is trackable).
            made->signal_hide().connect([this, key, made] {
                Glib::signal_idle().connect_once(
                    sigc::bind(sigc::mem_fun(*this, &OpenWindows::closeHidden), key, made), 200);
            });
            it = windows.emplace(key, std::move(window)).first;
        }
        it->second->show();
        return *it->second;
    }

    // Destroys the window of that full name; a name without one is ignored.
    void closeWindow(const Glib::ustring& name) { windows.erase(name); }

    void closeAllWindows() { windows.clear(); }

    T* find(const Glib::ustring& name) const
    {
        auto it = windows.find(name);
        return it == windows.end() ? nullptr : it->second.get();
    }
    std::size_t size() const { return windows.size(); }

private:
    void closeHidden(const Glib::ustring& name, const T* window)
    {
        auto it = windows.find(name);
        if (it != windows.end() && it->second.get() == window && !window->get_visible())
            windows.erase(it);
    }

    bool connectPending = true;
    std::map<Glib::ustring, std::unique_ptr<T>> windows;
    ConnectReload connectReload;
    sigc::connection reload;
};

} // namespace vistra

// The operations of the virtual-signal editor that read and change the VSD file: new,
// edit, duplicate, save and delete. Each one is the end of a button, key, or menu handler,
// so none lets an exception out: what escapes a GTK handler would end the process.
#include "core/can_iface.h"
#include "core/constants.h"
#include "core/message.h"
#include "core/report.h"
#include "core/settings.h"
#include "core/signal.h"
#include "core/store_host.h"
#include "core/virtual_signal.h"
#include "editor/method_descriptors.h"
#include "editor/virt_sign_dialog.h"
#include "store/store.h"
#include "views/dialog_runner.h"
#include "virtual/average.h"
#include "virtual/method_factory.h"
#include "virtual/vsd_document.h"

#include <glibmm/datetime.h>
#include <glibmm/exception.h>
#include <gtkmm/messagedialog.h>

#include <exception>
#include <string>

namespace vistra {
namespace {

// The text of the exception being handled; false for PrintMsgError, which is reported
// already.
bool currentErrorText(std::string& text)
{
    try {
        throw;
    } catch (const PrintMsgError&) {
        return false;
    } catch (const Glib::Exception& e) {
        text = e.what().raw();
    } catch (const SignalNotFoundException& e) {
        text = e.message;
    } catch (const std::exception& e) {
        text = e.what();
    } catch (...) {
        text = "Unknown error.";
    }
    return true;
}

// The group that a signal edited from a group without a message part was read from.
Glib::ustring afterFirstDot(const Glib::ustring& name)
{
    const std::string& raw = name.raw();
    const std::size_t dot = raw.find('.');
    return dot == std::string::npos ? name : Glib::ustring(raw.substr(dot + 1));
}

// The name under which a user sees a signal: the inner signal of an averaged one is shown
// by the average's name.
std::string shownName(const Glib::ustring& fullName)
{
    std::string name = fullName.raw();
    const std::string suffix = kAveragedSourceSuffix;
    if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
        name.resize(name.size() - suffix.size());
    return name;
}

} // namespace

void VirtSignDialog::resetFields()
{
    unitRow.setDefault();
    for (auto& [keyword, method] : methods)
        method->clear();
    for (EntrySignal* row : signalRows)
        row->setDefault();
    for (InputRow* row : commonRows)
        row->clear();
    for (InputRow* row : gapRows)
        row->clear();
}

void VirtSignDialog::newSignal(std::shared_ptr<Signal> target)
{
    try {
        mode = EditMode::New;
        set_title("New virtual signal");
        editedSignal.reset();
        legacyGroupName = false;
        nameRow.setProgramText(target && target->parent ? target->parent->name + ".new_signal" : Glib::ustring());
        nameRow.set_editable(true);
        vsdPath = Settings::instance()->getVsdFile();

        unitRow.clear();
        methodCombo.set_active(0);
        for (auto& [keyword, method] : methods)
            method->clear();
        for (EntrySignal* row : signalRows)
            row->clear();
        for (InputRow* row : commonRows)
            row->clear();
        for (InputRow* row : gapRows)
            row->clear();
        buildSignalListModel();

        duplicateButton.hide();
        deleteButton.hide();
        hasUsers = false;
        users.clear();
        present();
        fitToWorkArea(400);
    } catch (...) {
        reportCurrentException("Opening the signal editor");
    }
}

void VirtSignDialog::duplicateSignal()
{
    try {
        mode = EditMode::Duplicate;
        set_title("New virtual signal");
        editedSignal.reset();
        legacyGroupName = false;
        nameRow.set_editable(true);
        nameRow.setProgramText(nameRow.get_text() + "_copy");
        vsdPath = Settings::instance()->getVsdFile();
        duplicateButton.hide();
        deleteButton.hide();
        hasUsers = false;
        users.clear();
        fitToWorkArea(get_width());
    } catch (...) {
        reportCurrentException("Duplicating the signal");
    }
}

void VirtSignDialog::editSignal(std::shared_ptr<Signal> signal)
{
    try {
        editedSignal = signal;
        mode = EditMode::Existing;
        set_title("Edit virtual signal");
        auto* virt = dynamic_cast<VirtualSignal*>(signal.get());
        if (!virt) {
            // Reported and left: the menu that asked must not see an exception.
            reportError("trying to edit non-virtual signal");
            return;
        }
        // An averaging window is a wrapper made by the loader; the group defines its input.
        VirtualSignal* source = virt;
        if (source->definitionGroup.empty()) {
            auto* average = dynamic_cast<Average*>(signal.get());
            source = average ? dynamic_cast<VirtualSignal*>(average->input.get()) : nullptr;
            if (!source) {
                reportWarning("Unexpected error when opening signal");
                return;
            }
        }
        const Glib::ustring group = source->definitionGroup;
        vsdPath = source->definitionFile;
        if (group.raw().find('.') == std::string::npos) {
            nameRow.setProgramText((signal->parent ? signal->parent->name : Glib::ustring()) + "." + group);
            legacyGroupName = true;
        } else {
            nameRow.setProgramText(group);
            legacyGroupName = false;
        }
        nameRow.set_editable(false);
        resetFields();

        try {
            VsdDocument doc(vsdPath);
            Glib::KeyFile& file = doc.keyFile();
            // The loader also takes the older keys "signal" and "avg"; shown under the
            // editor's keys they are saved under those, else a save would drop them.
            for (const auto& [older, key] : {std::pair{"signal", "signal_01"}, std::pair{"avg", "avgWindow"}})
                if (file.has_key(group, older) && !file.has_key(group, key))
                    file.set_value(group, key, file.get_value(group, older));
            // Likewise the statistics type "avg", which the type list offers as "average".
            if (file.has_key(group, "method") && file.get_value(group, "method") == "statistics" &&
                file.has_key(group, "type") && file.get_value(group, "type") == "avg")
                file.set_value(group, "type", "average");
            if (!file.has_key(group, "method")) {
                reportWarning("Can't find method in VSD file");
            } else {
                const Glib::ustring method = file.get_value(group, "method");
                if (!selectMethod(method))
                    reportWarning("Can't handle method: %s", method.c_str());
                else
                    currentMethod->load(file, group);
            }
            unitRow.load(file, group);
            for (EntrySignal* row : signalRows)
                row->load(file, group);
            for (InputRow* row : commonRows)
                row->load(file, group);
            for (InputRow* row : gapRows)
                row->load(file, group);
        } catch (...) {
            std::string text;
            if (currentErrorText(text))
                reportWarning("Could not read VSD file: %s, error: %s", vsdPath.c_str(), text.c_str());
            return;
        }

        int shown = 0;
        for (EntrySignal* row : signalRows)
            if (!row->get_text().empty())
                ++shown;
        inputCountSpin.set_value(shown);
        buildSignalListModel();
        duplicateButton.show();
        deleteButton.show();

        users.clear();
        hasUsers = false;
        if (auto virtIface = storeHost().getIface(kVirtualIface)) {
            for (const auto& [id, message] : virtIface->messages) {
                for (const auto& user : message->signals) {
                    // The averaging wrapper of the edited signal uses it, but it is the
                    // same signal to the user.
                    if (user == signal || user->fullName == source->fullName || !user->dependsOn(source->fullName))
                        continue;
                    hasUsers = true;
                    users.push_back(shownName(user->fullName));
                }
            }
        }
        present();
        fitToWorkArea(400);
    } catch (...) {
        reportCurrentException("Opening the signal editor");
    }
}

bool VirtSignDialog::writeSignalGroup(Glib::KeyFile& file, const Glib::ustring& group)
{
    file.set_string(group, "method", currentMethod->keyword());
    for (int i = 0; i < inputCount && i < static_cast<int>(signalRows.size()); ++i) {
        EntrySignal* row = signalRows[i];
        if (editedSignal && storeHost().findSignal(row->get_text()) == editedSignal) {
            reportWarning("Signal is referring to it self.");
            return false;
        }
        row->save(file, group);
    }
    currentMethod->save(file, group);
    unitRow.save(file, group);
    for (InputRow* row : commonRows)
        row->save(file, group);
    for (InputRow* row : gapRows)
        row->save(file, group);
    file.set_string(group, productName, Glib::DateTime::create_now_local().format("%Y-%m-%d %H:%M:%S"));
    return true;
}

void VirtSignDialog::saveSignal()
{
    try {
        const Glib::ustring name = nameRow.get_text();
        const std::string& raw = name.raw();
        const std::size_t dot = raw.find('.');
        if (dot == std::string::npos || raw.find('.', dot + 1) != std::string::npos || raw.back() == '.') {
            reportWarning("Signal name must have form <msgName>.<signalName>");
            return;
        }
        if (!currentMethod)
            return;

        // The definition is built once on a scratch message: what the creator refuses is
        // never written.
        try {
            Glib::KeyFile scratch;
            if (!writeSignalGroup(scratch, name) || !currentMethod->testCreateSignal(scratch, name, vsdPath))
                return;
        } catch (...) {
            std::string text;
            if (currentErrorText(text))
                reportWarning("Can't create signal:\n\n%s", text.c_str());
            return;
        }

        try {
            VsdDocument doc(vsdPath);
            if (mode != EditMode::Existing && doc.hasGroup(name)) {
                reportWarning("VSD file %s already has signal with that name (%s)", vsdPath.c_str(), name.c_str());
                return;
            }
            Glib::KeyFile group;
            if (!writeSignalGroup(group, name))
                return;
            const bool existing = mode == EditMode::Existing;
            const Glib::ustring oldGroup = !existing ? Glib::ustring() : legacyGroupName ? afterFirstDot(name) : name;
            doc.putGroup(oldGroup, group, name);
            doc.save();
        } catch (...) {
            std::string text;
            if (currentErrorText(text))
                reportWarning("Could not store changes to VSD file %s:\n%s", vsdPath.c_str(), text.c_str());
            return;
        }

        // Only now: a failed save leaves the old group's name for the next attempt.
        legacyGroupName = false;
        duplicateButton.show();
        deleteButton.show();
        mode = EditMode::Existing;
        nameRow.set_editable(false);
        if (reloadAndSelect)
            reloadAndSelect("Virt." + name);
        else
            Store::instance().reloadRequested.emit();
        hide();
    } catch (...) {
        reportCurrentException("Saving the signal");
    }
}

bool VirtSignDialog::removeSignalGroup()
{
    try {
        VsdDocument doc(vsdPath);
        const Glib::ustring name = nameRow.get_text();
        doc.removeGroup(legacyGroupName ? afterFirstDot(name) : name);
        doc.save();
        return true;
    } catch (...) {
        std::string text;
        if (currentErrorText(text))
            reportWarning("Could not delete signal from VSD file %s: %s", vsdPath.c_str(), text.c_str());
        return false;
    }
}

void VirtSignDialog::deleteSignal()
{
    try {
        if (hasUsers) {
            std::string list;
            for (const Glib::ustring& user : users)
                list += "\n\t- " + user.raw();
            reportInfo("Can't delete signal,  other virtual signals still use it as input:%s", list.c_str());
            return;
        }
        Gtk::MessageDialog ask(*this, "Do you want to delete this signal?", false, Gtk::MESSAGE_QUESTION,
                               Gtk::BUTTONS_YES_NO, true);
        ask.set_secondary_text("Deleted signals can't be restored.");
        ask.set_default_response(Gtk::RESPONSE_NO);
        if (runDialog(ask) != Gtk::RESPONSE_YES)
            return;
        if (removeSignalGroup()) {
            Store::instance().reloadRequested.emit();
            hide();
        }
    } catch (...) {
        reportCurrentException("Deleting the signal");
    }
}

} // namespace vistra

#pragma once
// The virtual-signal editor: a non-modal dialog in which the user defines one signal group
// of the loaded VSD file (name, method, input signals, the method's own keys, unit and the
// options common to every method). The construction, layout and everything that only
// changes what is shown live in virt_sign_dialog.cpp; the operations that read and write
// the VSD file (new, edit, duplicate, save, delete) in virt_sign_dialog_operations.cpp.
#include "editor/input_rows.h"

#include <glibmm/keyfile.h>
#include <glibmm/refptr.h>
#include <glibmm/ustring.h>
#include <gtkmm/arrow.h>
#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/comboboxtext.h>
#include <gtkmm/dialog.h>
#include <gtkmm/grid.h>
#include <gtkmm/label.h>
#include <gtkmm/liststore.h>
#include <gtkmm/scrolledwindow.h>
#include <gtkmm/separator.h>
#include <gtkmm/spinbutton.h>

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace vistra {

class Method;
class Signal;

// What the dialog holds: nothing yet, a new signal (from "New signal" or a duplicate) or a
// signal of the file. Only an existing signal's group may be written over by a save.
enum class EditMode { Unused, New, Duplicate, Existing };

class VirtSignDialog : public Gtk::Dialog {
public:
    // Builds every widget and descriptor; the dialog stays hidden until newSignal or
    // editSignal presents it.
    VirtSignDialog();
    ~VirtSignDialog() override;

    VirtSignDialog(const VirtSignDialog&) = delete;
    VirtSignDialog& operator=(const VirtSignDialog&) = delete;

    // Resizes to `width` and the height at which the whole grid shows, at most 9/10 of the
    // monitor's work area; does nothing before the dialog is realised.
    virtual void fitToWorkArea(int width);

    // --- What is shown (virt_sign_dialog.cpp) ---
    void onMethodChanged();
    // Shows the first inputCount input rows and hides the others.
    void updateInputRows();
    void onInputCountChanged();
    void toggleCommonOptions();
    // "method": the help page of the chosen method; anything else: the common options.
    void showMethodHelp(const Glib::ustring& which);
    // The file URI that showMethodHelp hands to the desktop.
    Glib::ustring helpUri(const Glib::ustring& which) const;
    // The completion list: every listed signal of the CAN, logger and virtual interfaces
    // except editedSignal, handed to every input row and descriptor.
    void buildSignalListModel();
    void onSaveClicked();
    void onDuplicateClicked();
    void onDeleteClicked();
    // Selects `keyword` in the method combo (running onMethodChanged); false when no
    // descriptor has that keyword.
    bool selectMethod(const Glib::ustring& keyword);

    // --- The operations on the VSD file (virt_sign_dialog_operations.cpp) ---
    void newSignal(std::shared_ptr<Signal> target);
    void editSignal(std::shared_ptr<Signal> signal);
    void duplicateSignal();
    void saveSignal();
    bool writeSignalGroup(Glib::KeyFile& file, const Glib::ustring& group);
    bool removeSignalGroup();
    void deleteSignal();
    void resetFields();
    // Set by the window that owns the dialog. Called after a save with "Virt.<name>": the
    // owner reloads and selects the signal; unset, the Store is asked to reload.
    std::function<void(const Glib::ustring&)> reloadAndSelect;
    // The folder that holds the help pages (help/<page>/index.html), and the window the
    // desktop shows them over (none: the desktop's choice). Set by the owner as well.
    Glib::ustring docDir;
    Gtk::Window* helpParent = nullptr;

    const char* productName = "Tarnwick";
    EditMode mode = EditMode::Unused;
    Glib::ustring vsdPath;
    std::shared_ptr<Signal> editedSignal;
    std::vector<Glib::ustring> methodNames;
    std::map<Glib::ustring, Method*> methods; // owned
    Method* currentMethod = nullptr;
    int inputCount = -1;
    bool legacyGroupName = false;
    bool commonHidden = true;
    bool hasUsers = false;
    std::vector<Glib::ustring> users;

    Gtk::ScrolledWindow scroller;
    Gtk::Grid grid;
    Gtk::Label methodLabel;
    Gtk::Label inputsLabel;
    Gtk::ComboBoxText methodCombo;
    Gtk::SpinButton inputCountSpin;
    Gtk::Separator unitSeparator;
    Gtk::Separator methodSeparator;
    Gtk::Separator commonSeparator;
    Gtk::Button saveButton;
    Gtk::Button duplicateButton;
    Gtk::Button deleteButton;
    Gtk::Button methodHelpButton;
    Gtk::Button commonHelpButton;
    Gtk::Button commonToggleButton;
    Gtk::HBox commonToggleBox;
    Gtk::HBox methodBox;
    Gtk::HBox commonBox;
    Gtk::Arrow arrowDown;
    Gtk::Arrow arrowUp;
    Gtk::Label commonToggleLabel;
    EntryName nameRow;
    EntryString unitRow;
    std::vector<EntrySignal*> signalRows; // owned
    std::vector<InputRow*> commonRows;    // owned
    std::vector<InputRow*> gapRows;       // owned
    InputRow* avgWindowRow = nullptr;     // also in commonRows
    Glib::RefPtr<Gtk::ListStore> signalListModel;

protected:
    bool on_key_press_event(GdkEventKey* event) override;
};

} // namespace vistra

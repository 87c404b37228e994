#include "editor/virt_sign_dialog.h"

#include "core/can_iface.h"
#include "core/constants.h"
#include "core/message.h"
#include "core/report.h"
#include "core/signal.h"
#include "editor/method_descriptors.h"
#include "store/store.h"
#include "views/handler_guard.h"
#include "views/work_area.h"

#include <gdkmm/display.h>
#include <glibmm/exception.h>
#include <gtkmm/image.h>

#include <algorithm>
#include <cstdio>
#include <exception>

namespace vistra {
namespace {

constexpr int kInputRows = 50;

// The row label of input signal `number` (1-based): signal_01 to signal_50.
std::string signalKey(int number)
{
    char key[16];
    std::snprintf(key, sizeof key, "signal_%02d", number);
    return key;
}

void setHelpIcon(Gtk::Button& button, const char* tooltip)
{
    auto* image = Gtk::manage(new Gtk::Image());
    image->set_from_icon_name("help-browser", Gtk::ICON_SIZE_BUTTON);
    button.set_image(*image);
    button.set_always_show_image(true);
    button.set_tooltip_text(tooltip);
}

} // namespace

VirtSignDialog::VirtSignDialog()
    : methodLabel("Method"), inputsLabel("Inputs"), unitSeparator(Gtk::ORIENTATION_HORIZONTAL),
      methodSeparator(Gtk::ORIENTATION_HORIZONTAL), commonSeparator(Gtk::ORIENTATION_HORIZONTAL),
      saveButton("Save changes (Ctrl + S)"), duplicateButton("Duplicate"), deleteButton("Delete signal"),
      commonToggleBox(false, 5), methodBox(false, 0), commonBox(false, 0),
      arrowDown(Gtk::ARROW_DOWN, Gtk::SHADOW_ETCHED_IN), arrowUp(Gtk::ARROW_UP, Gtk::SHADOW_ETCHED_IN),
      nameRow("Signal name", "Select virtual message and signal name", 2, ""),
      unitRow("unit", "Unit for this signal", "")
{
    set_keep_above(true);

    for (const Glib::ustring& keyword : methodKeywords()) {
        methods[keyword] = createMethod(keyword);
        methodNames.push_back(keyword);
    }

    methodLabel.set_halign(Gtk::ALIGN_START);
    methodLabel.show();
    for (const Glib::ustring& keyword : methodNames)
        methodCombo.append(keyword);
    methodCombo.set_tooltip_text("Select virtual method to use");
    methodCombo.signal_changed().connect(
        [this] { guardHandler("Choosing the method", [this] { onMethodChanged(); }); });
    methodCombo.set_active(0);
    methodCombo.show();
    nameRow.set_placeholder_text("<msg>.<signal>");
    nameRow.show();
    inputsLabel.set_halign(Gtk::ALIGN_START);
    inputsLabel.show();

    inputCountSpin.set_tooltip_text("Select number input signals to use");
    inputCountSpin.set_numeric(true);
    inputCountSpin.set_digits(0);
    inputCountSpin.set_adjustment(Gtk::Adjustment::create(1, 1, kInputRows, 1, 5, 0));
    inputCountSpin.configure(inputCountSpin.get_adjustment(), 1, 0);
    inputCountSpin.signal_value_changed().connect(
        [this] { guardHandler("Choosing the number of inputs", [this] { onInputCountChanged(); }); });
    inputCountSpin.show();

    int row = 0;
    grid.attach(*nameRow.getLabel(), 0, row);
    grid.attach(nameRow, 1, row++);
    setHelpIcon(methodHelpButton, "Show help for selected method");
    methodCombo.set_hexpand(true);
    methodBox.pack_start(methodCombo, Gtk::PACK_EXPAND_WIDGET);
    methodBox.pack_start(methodHelpButton, Gtk::PACK_SHRINK);
    methodBox.show_all();
    grid.attach(methodLabel, 0, row);
    grid.attach(methodBox, 1, row++);
    grid.attach(inputsLabel, 0, row);
    grid.attach(inputCountSpin, 1, row++);
    methodHelpButton.signal_clicked().connect(
        [this] { guardHandler("Showing the help", [this] { showMethodHelp("method"); }); });

    for (int number = 1; number <= kInputRows; ++number) {
        auto* input = new EntrySignal(signalKey(number), "Select input signal", "");
        input->set_placeholder_text("<canif>.<msg>.<signal>");
        signalRows.push_back(input);
        grid.attach(*input->getLabel(), 0, row);
        grid.attach(*input, 1, row++);
    }
    inputCountSpin.set_value(1);
    inputCount = 1;
    updateInputRows();

    unitRow.set_placeholder_text("km/h (optional)");
    grid.attach(*unitRow.getLabel(), 0, row);
    grid.attach(unitRow, 1, row++);
    unitRow.show();
    unitSeparator.set_margin_top(10);
    unitSeparator.set_margin_bottom(10);
    grid.attach(unitSeparator, 0, row++, 2, 1);
    unitSeparator.show();
    for (const auto& [keyword, method] : methods)
        for (InputRow* methodRow : method->rows) {
            grid.attach(*methodRow->getLabel(), 0, row);
            grid.attach(*methodRow->getWidget(), 1, row++);
        }
    methodSeparator.set_margin_top(10);
    methodSeparator.set_margin_bottom(10);
    grid.attach(methodSeparator, 0, row++, 2, 1);
    methodSeparator.show();

    commonToggleLabel.set_text("Show common options");
    commonToggleBox.set_halign(Gtk::ALIGN_CENTER);
    commonToggleBox.pack_start(commonToggleLabel, Gtk::PACK_SHRINK);
    commonToggleBox.pack_start(arrowDown, Gtk::PACK_SHRINK);
    commonToggleBox.pack_start(arrowUp, Gtk::PACK_SHRINK);
    commonToggleButton.add(commonToggleBox);
    setHelpIcon(commonHelpButton, "Show common options help");
    commonBox.pack_start(commonToggleButton, Gtk::PACK_EXPAND_WIDGET);
    commonBox.pack_start(commonHelpButton, Gtk::PACK_SHRINK);
    grid.attach(commonBox, 0, row++, 2, 1);
    commonBox.show_all();
    arrowUp.hide();
    commonHelpButton.signal_clicked().connect(
        [this] { guardHandler("Showing the help", [this] { showMethodHelp("common"); }); });
    commonToggleButton.signal_clicked().connect(
        [this] { guardHandler("Showing the common options", [this] { toggleCommonOptions(); }); });

    auto addFloat = [](std::vector<InputRow*>& to, const char* key, const char* tooltip, double value,
                       const char* hint) {
        auto* entry = new EntryFloat(key, tooltip, value);
        if (hint)
            entry->set_placeholder_text(hint);
        to.push_back(entry);
    };
    auto addBool = [](std::vector<InputRow*>& to, const char* key, const char* tooltip) {
        to.push_back(new EntryBool(key, tooltip, false));
    };
    addFloat(commonRows, "fact", "Multiply signal output by this factor", 1.0, "x 1.0");
    addFloat(commonRows, "offs", "Add this offset to signal output", 0.0, "+ 12.0");
    addFloat(commonRows, "minLim", "Ignore values below this limit in plot (for better scaling)", 0.0, "0.5 units");
    addFloat(commonRows, "maxLim", "Ignore values above this limit in plot (for better scaling)", 0.0, "25.5 units");
    addBool(commonRows, "absInput", "Use absolute value of input signal");
    addBool(commonRows, "absOutput", "Output absolute value");
    auto* avgWindow = new EntryInt("avgWindow", "Average the signal output with this window size", 0);
    avgWindow->set_placeholder_text("2000 ms");
    commonRows.push_back(avgWindow);
    avgWindowRow = avgWindow;
    auto* comment = new EntryString("comment", "Helpful description of signal", "");
    comment->set_placeholder_text("Vertical speed of rocket");
    commonRows.push_back(comment);
    addBool(commonRows, "hidden", "Hide signal (only use as input to other signals)");
    for (InputRow* common : commonRows) {
        grid.attach(*common->getLabel(), 0, row);
        grid.attach(*common->getWidget(), 1, row++);
    }
    commonSeparator.set_margin_top(10);
    commonSeparator.set_margin_bottom(10);
    grid.attach(commonSeparator, 0, row++, 2, 1);
    addBool(gapRows, "fillEmpty", "Use last registered value to fill gaps");
    addFloat(gapRows, "valWhenEmpty", "Fill gaps with this value instead of last", 0.0, nullptr);
    addBool(gapRows, "pauseIfZero", "Pause output for signal while it would have been 0");
    for (InputRow* gap : gapRows) {
        grid.attach(*gap->getLabel(), 0, row);
        grid.attach(*gap->getWidget(), 1, row++);
    }

    saveButton.set_tooltip_text("Save signal to file");
    duplicateButton.set_tooltip_text("Duplicate this signal to a new signal");
    deleteButton.set_tooltip_text("Delete this signal");
    saveButton.signal_clicked().connect([this] { guardHandler("Saving the signal", [this] { onSaveClicked(); }); });
    duplicateButton.signal_clicked().connect(
        [this] { guardHandler("Duplicating the signal", [this] { onDuplicateClicked(); }); });
    deleteButton.signal_clicked().connect(
        [this] { guardHandler("Deleting the signal", [this] { onDeleteClicked(); }); });
    onMethodChanged();

    grid.set_row_spacing(5);
    grid.set_column_spacing(5);
    grid.set_hexpand(true);
    grid.show();
    scroller.add(grid);
    scroller.set_policy(Gtk::POLICY_NEVER, Gtk::POLICY_AUTOMATIC);
    scroller.set_vexpand(true);
    scroller.set_overlay_scrolling(false);
    scroller.show();
    Gtk::Box* content = get_content_area();
    content->pack_start(scroller, Gtk::PACK_EXPAND_WIDGET, 2);
    content->pack_end(saveButton, Gtk::PACK_SHRINK, 2);
    content->pack_end(duplicateButton, Gtk::PACK_SHRINK, 2);
    content->pack_end(deleteButton, Gtk::PACK_SHRINK, 2);
    saveButton.show();
    duplicateButton.show();
    deleteButton.show();
}

VirtSignDialog::~VirtSignDialog()
{
    for (auto& [keyword, method] : methods)
        delete method;
    for (EntrySignal* input : signalRows)
        delete input;
    for (InputRow* common : commonRows)
        delete common;
    for (InputRow* gap : gapRows)
        delete gap;
}

bool VirtSignDialog::selectMethod(const Glib::ustring& keyword)
{
    const auto at = std::find(methodNames.begin(), methodNames.end(), keyword);
    if (at == methodNames.end())
        return false;
    // Setting the same item again emits nothing; the method shown is right already then.
    methodCombo.set_active(static_cast<int>(at - methodNames.begin()));
    return true;
}

void VirtSignDialog::onMethodChanged()
{
    const auto found = methods.find(methodCombo.get_active_text());
    if (found == methods.end())
        return;
    currentMethod = found->second;
    const std::size_t n = currentMethod->maxInputs();
    if (n == 0) {
        inputCountSpin.hide();
        inputsLabel.hide();
        inputCount = 0;
        updateInputRows();
    } else if (n == 1) {
        inputCountSpin.hide();
        inputsLabel.hide();
        inputCount = 1;
        updateInputRows();
        inputCountSpin.set_range(1, 1);
    } else {
        inputCountSpin.show();
        inputsLabel.show();
        if (inputCount <= 0)
            inputCount = 1;
        updateInputRows();
        // Narrowing the range clamps the value, which runs onInputCountChanged.
        inputCountSpin.set_range(1, static_cast<double>(n));
        // After a single-input method the spin still holds 1 while inputCount may not: let
        // the spin show what is shown.
        if (inputCountSpin.get_value_as_int() != inputCount)
            inputCountSpin.set_value(inputCount);
    }
    for (auto& [keyword, method] : methods)
        if (method != currentMethod)
            method->hide();
    currentMethod->show();
    fitToWorkArea(get_width());
}

void VirtSignDialog::updateInputRows()
{
    // Reported here rather than thrown: this runs inside the combo's and the spin's
    // handlers, which must not be left by an exception.
    try {
        for (int i = 0; i < static_cast<int>(signalRows.size()); ++i) {
            if (i < inputCount)
                signalRows[static_cast<std::size_t>(i)]->show();
            else
                signalRows[static_cast<std::size_t>(i)]->hide();
        }
    } catch (const std::exception& e) {
        reportError("Error: %s", e.what());
    } catch (const Glib::Exception& e) {
        reportError("Error: %s", e.what().c_str());
    }
}

void VirtSignDialog::onInputCountChanged()
{
    const int value = inputCountSpin.get_value_as_int();
    if (value == inputCount)
        return;
    inputCount = value;
    updateInputRows();
    fitToWorkArea(get_width());
}

void VirtSignDialog::toggleCommonOptions()
{
    commonHidden = !commonHidden;
    if (commonHidden) {
        commonToggleLabel.set_text("Show common options");
        arrowUp.hide();
        arrowDown.show();
        for (InputRow* common : commonRows)
            common->hide();
        for (InputRow* gap : gapRows)
            gap->hide();
    } else {
        commonToggleLabel.set_text("Hide common options");
        arrowDown.hide();
        arrowUp.show();
        for (InputRow* common : commonRows)
            common->show();
        for (InputRow* gap : gapRows)
            gap->show();
    }
    fitToWorkArea(get_width());
}

Glib::ustring VirtSignDialog::helpUri(const Glib::ustring& which) const
{
    const Glib::ustring page = which == "method" ? "method_" + methodCombo.get_active_text().lowercase()
                                                 : Glib::ustring("method_common_options");
    return "file://" + docDir + "/help/" + page + "/index.html";
}

void VirtSignDialog::showMethodHelp(const Glib::ustring& which)
{
    // A missing page or handler is the desktop's to show; nothing is reported here.
    GtkWindow* parent = helpParent ? helpParent->gobj() : nullptr;
    gtk_show_uri_on_window(parent, helpUri(which).c_str(), GDK_CURRENT_TIME, nullptr);
}

void VirtSignDialog::fitToWorkArea(int width)
{
    Glib::RefPtr<Gdk::Window> window = get_window();
    if (!window || !get_display())
        return;
    if (currentMethod && avgWindowRow) {
        // Integration has no step, and the averaging window needs one.
        if (!currentMethod->hasStep)
            avgWindowRow->hide();
        else if (!commonHidden)
            avgWindowRow->show();
    }
    const Gdk::Rectangle area = workAreaOf(this);
    if (area.get_height() <= 0)
        return;
    const int maxHeight = area.get_height() * 9 / 10;
    int minimum = 0;
    int dialogHeight = 0;
    int scrollerHeight = 0;
    int gridHeight = 0;
    get_preferred_height(minimum, dialogHeight);
    scroller.get_preferred_height(minimum, scrollerHeight);
    grid.get_preferred_height(minimum, gridHeight);
    const int height = dialogHeight - scrollerHeight + gridHeight;
    resize(width, std::min(height, maxHeight));
}

void VirtSignDialog::buildSignalListModel()
{
    const SigListModCols& cols = sigListModCols();
    signalListModel = Gtk::ListStore::create(cols);
    for (const auto& [number, iface] : Store::instance().interfaces) {
        if (number > kVirtualIface || !iface)
            continue;
        for (const auto& [id, message] : iface->messages) {
            if (!message)
                continue;
            for (const std::shared_ptr<Signal>& signal : message->signals) {
                if (!signal || signal->internal || signal == editedSignal)
                    continue;
                Gtk::TreeRow row = *signalListModel->append();
                row[cols.name] = iface->name + "." + message->name + "." + signal->name;
            }
        }
    }
    for (EntrySignal* input : signalRows)
        input->setSignalListModel(signalListModel);
    for (auto& [keyword, method] : methods)
        method->setSignalListModel(signalListModel);
}

void VirtSignDialog::onSaveClicked()
{
    saveSignal();
    fitToWorkArea(get_width());
}

void VirtSignDialog::onDuplicateClicked() { duplicateSignal(); }

void VirtSignDialog::onDeleteClicked() { deleteSignal(); }

bool VirtSignDialog::on_key_press_event(GdkEventKey* event)
{
    // Bit 0x20 cleared: 'S' with or without Shift.
    if ((event->keyval & ~0x20u) == 83 && (event->state & GDK_CONTROL_MASK)) {
        guardHandler("Saving the signal", [this] { saveSignal(); });
        return true;
    }
    return Gtk::Dialog::on_key_press_event(event);
}

} // namespace vistra

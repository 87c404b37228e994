#pragma once
// What the virtual-signal editor knows of one computation method of the VSD format: the
// keyword written as the group's "method", the number of input signals, the method's own
// rows, and how to build the method's signal from a group, which the editor does once
// before it stores a group to find out whether the definition works.
#include "editor/input_rows.h"

#include <glibmm/keyfile.h>
#include <glibmm/refptr.h>
#include <glibmm/ustring.h>
#include <gtkmm/liststore.h>

#include <cstddef>
#include <memory>
#include <vector>

namespace vistra {

class VirtualMessage;

class Method {
public:
    Method();
    // withStepRow false: the step row exists but is not one of the rows.
    explicit Method(bool withStepRow);
    virtual ~Method();
    Method(const Method&) = delete;
    Method& operator=(const Method&) = delete;

    // Builds the method's signal from `group` of `file` and releases it at once; whatever
    // the creator throws passes on.
    virtual void createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group,
                              Glib::KeyFile& file, const Glib::ustring& vsdPath);
    virtual Glib::ustring keyword() const;
    virtual std::size_t maxInputs() const;
    virtual void show();
    virtual void hide();
    virtual void setDefaults();
    virtual void clear();
    // Every row loads (or saves) even after one returned true; the OR of their results.
    virtual bool load(Glib::KeyFile& file, const Glib::ustring& group);
    virtual bool save(Glib::KeyFile& file, const Glib::ustring& group);
    virtual void setSignalListModel(const Glib::RefPtr<Gtk::ListStore>& model);

    // Builds the signal on a throw-away message; any failure is reported as a warning with
    // the creator's text and gives false.
    bool testCreateSignal(Glib::KeyFile& file, const Glib::ustring& group, const Glib::ustring& vsdPath);

    EntryInt stepRow;
    bool hasStep;
    std::vector<InputRow*> rows; // not owning; stepRow first when hasStep
};

// Kept apart from the constructors so that the dialog and the tests create the same set.
// The keywords in the order the editor offers them.
const std::vector<Glib::ustring>& methodKeywords();
// A new descriptor for one of methodKeywords(); null for any other keyword.
Method* createMethod(const Glib::ustring& keyword);

class MethodAverage : public Method {
public:
    MethodAverage();
    void createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group, Glib::KeyFile& file,
                      const Glib::ustring& vsdPath) override;
    Glib::ustring keyword() const override { return "average"; }

    EntryInt window;
    EntryBool onlyPos;
    EntryBool onlyNeg;
};

class MethodSlope : public Method {
public:
    MethodSlope();
    void createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group, Glib::KeyFile& file,
                      const Glib::ustring& vsdPath) override;
    Glib::ustring keyword() const override { return "slope"; }

    EntryFloat posSlopeIncr;
    EntryFloat posSlopeDecr;
    EntryFloat negSlopeIncr;
    EntryFloat negSlopeDecr;
};

class MethodIntegrate : public Method {
public:
    MethodIntegrate();
    void createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group, Glib::KeyFile& file,
                      const Glib::ustring& vsdPath) override;
    Glib::ustring keyword() const override { return "integrate"; }
    void setSignalListModel(const Glib::RefPtr<Gtk::ListStore>& model) override;

    EntryBool onlyPos;
    EntryBool onlyNeg;
    EntryFloat minSum;
    EntryFloat maxSum;
    EntrySignal resetSig;
};

class MethodCount : public Method {
public:
    MethodCount();
    void createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group, Glib::KeyFile& file,
                      const Glib::ustring& vsdPath) override;
    Glib::ustring keyword() const override { return "count"; }
    void setSignalListModel(const Glib::RefPtr<Gtk::ListStore>& model) override;

    EntryFloat above;
    EntryFloat below;
    EntrySignal resetSig;
};

class MethodTime : public Method {
public:
    MethodTime();
    void createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group, Glib::KeyFile& file,
                      const Glib::ustring& vsdPath) override;
    Glib::ustring keyword() const override { return "time"; }
    void setSignalListModel(const Glib::RefPtr<Gtk::ListStore>& model) override;

    EntryFloat above;
    EntryFloat below;
    EntryBool countAbove;
    EntrySignal resetSig;
};

class MethodAccumulate : public Method {
public:
    MethodAccumulate();
    void createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group, Glib::KeyFile& file,
                      const Glib::ustring& vsdPath) override;
    Glib::ustring keyword() const override { return "accumulate"; }
    void setSignalListModel(const Glib::RefPtr<Gtk::ListStore>& model) override;

    EntrySignal resetSig;
};

class MethodFrequency : public Method {
public:
    MethodFrequency();
    void createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group, Glib::KeyFile& file,
                      const Glib::ustring& vsdPath) override;
    Glib::ustring keyword() const override { return "frequency"; }

    EntryInt samples;
    EntryFloat filter;
    EntryInt peaks;
    EntryBool amplitude;
};

class MethodEstimate : public Method {
public:
    MethodEstimate();
    void createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group, Glib::KeyFile& file,
                      const Glib::ustring& vsdPath) override;
    Glib::ustring keyword() const override { return "estimate"; }

    EntryFloat highLimit;
    EntryFloat lowLimit;
    EntryFloat offValue;
};

class MethodIIR : public Method {
public:
    MethodIIR();
    void createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group, Glib::KeyFile& file,
                      const Glib::ustring& vsdPath) override;
    Glib::ustring keyword() const override { return "IIR"; }

    EntryFloat K;
};

class MethodStatistics : public Method {
public:
    MethodStatistics();
    ~MethodStatistics() override;
    void createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group, Glib::KeyFile& file,
                      const Glib::ustring& vsdPath) override;
    Glib::ustring keyword() const override { return "statistics"; }

    EntryDropDwn* typeRow; // owned
};

class MethodExpression : public Method {
public:
    MethodExpression();
    void createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group, Glib::KeyFile& file,
                      const Glib::ustring& vsdPath) override;
    Glib::ustring keyword() const override { return "expression"; }
    std::size_t maxInputs() const override { return 50; }

    EntryBool radians;
    EntryString expr;
};

class MethodLookupTable : public Method {
public:
    MethodLookupTable();
    void createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group, Glib::KeyFile& file,
                      const Glib::ustring& vsdPath) override;
    Glib::ustring keyword() const override { return "lookuptable"; }
    std::size_t maxInputs() const override { return 50; }

    EntryString file;
};

// "above" and "below" are one descriptor class; the keyword tells them apart.
class MethodAboveBelow : public Method {
public:
    explicit MethodAboveBelow(const Glib::ustring& name);
    void createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group, Glib::KeyFile& file,
                      const Glib::ustring& vsdPath) override;
    Glib::ustring keyword() const override { return name; }

    Glib::ustring name;
    EntryFloat above;
    EntryFloat below;
};

class MethodGeofence : public Method {
public:
    MethodGeofence();
    ~MethodGeofence() override;
    void createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group, Glib::KeyFile& file,
                      const Glib::ustring& vsdPath) override;
    Glib::ustring keyword() const override { return "geofence"; }
    std::size_t maxInputs() const override { return 0; }
    // Shows the rows of the chosen shape only; the step is fixed at 1000 ms.
    void show() override;
    void hide() override;
    void onTypeChanged();

    EntryDropDwn* typeRow; // owned
    EntryString center;
    EntryFloat radius;
    EntryString topleft;
    EntryString bottomright;
    bool hidden = true;

private:
    void showShapeRows();
};

// "derive": the step row is its only row.
class MethodMultimath : public Method {
public:
    MethodMultimath();
    void createSignal(std::shared_ptr<VirtualMessage> parent, const Glib::ustring& group, Glib::KeyFile& file,
                      const Glib::ustring& vsdPath) override;
    Glib::ustring keyword() const override { return "derive"; }
};

} // namespace vistra

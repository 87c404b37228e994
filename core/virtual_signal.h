#pragma once
// The base of every computed signal. It applies the common output options of a signal
// definition (pause on zero, factor and offset, gap filling, absolute output) to each
// value its subclass produces, before the value is stored.
#include "core/signal.h"

#include <glibmm/keyfile.h>
#include <glibmm/ustring.h>

#include <memory>

namespace vistra {

// A signal that can report one summary value at the end of a parse.
class PrintableSignal {
public:
    virtual ~PrintableSignal();
    // Writes the summary to *out and returns true; false when there is none.
    virtual bool summary(double* out);
};

class VirtualSignal : public Signal, public PrintableSignal {
public:
    using Signal::Signal;
    ~VirtualSignal() override;

    // The one output path of every computed value. A value that is not finite (a division
    // by zero, say), before or after scaling, stores nothing: no inf or NaN may reach the
    // ranges, the plots or the summaries.
    void addValue(u64 t, double v) override;
    // Computing subclasses compute all their samples here after a load.
    void process() override;
    // Every computing subclass answers this itself; reaching the base is a programming
    // error: reports "should never be used" and throws PrintMsgError.
    bool dependsOn(const Glib::ustring& name) override;
    virtual bool inputsReady();
    bool summary(double* out) override;

    // Reads the options that every signal definition may have from `group`: factor,
    // offset, limits, hidden, fillEmpty, valWhenEmpty, pauseIfZero, absInput, absOutput,
    // unit and comment. A present key that does not parse throws Glib::KeyFileError; a
    // zero factor, a number that is NaN or infinite (but -inf and inf as the lower and
    // upper limit) and the removed key "abs" throw std::invalid_argument.
    void parseCommonOptions(Glib::KeyFile& keyFile, const Glib::ustring& group);
    // The part of them that concerns the display alone: the limits and "hidden".
    void parseLimitOptions(Glib::KeyFile& keyFile, const Glib::ustring& group);

    double factor = 1.0;
    double offset = 0.0;
    bool absInput = false; // applied to the inputs by the computing subclass
    bool absOutput = false;
    bool computed = false; // computed in the current load
    bool fillEmpty = false;
    double valWhenEmpty = 0.0;
    bool valWhenEmptyGiven = false;
    bool pauseIfZero = false;
    bool hasOutput = false; // lastOutTime and lastOutValue hold the last output
    u64 lastOutTime = 0;
    double lastOutValue = 0.0;
    Glib::ustring definitionFile;
    Glib::ustring definitionGroup;
    // On the average that an averaging window puts around a signal: the averaged signal.
    std::shared_ptr<Signal> wrapped;
};

} // namespace vistra

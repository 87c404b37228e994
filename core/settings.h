#pragma once
// The user's settings, kept in the key file "~/.tarnwick" (in "/tmp" without HOME): last
// used files and folders, plot appearance, the bus-load interval, the external editor and
// one colour per signal. A getter that finds no value (or one of the wrong type) stores
// its default and returns it, so the file fills itself with every setting ever asked for.
//
// The GUI thread reads and writes the settings while the Store worker reads them, and
// getters write: every access takes the object's mutex. The key file is therefore not
// reachable from outside (protected base), only through the locked members.
#include <glibmm/keyfile.h>
#include <glibmm/ustring.h>

#include <mutex>

namespace vistra {

// The user's home folder: HOME, or "/tmp" when HOME is unset or empty.
Glib::ustring homeFolder();

class Settings : protected Glib::KeyFile {
public:
    // The process-wide settings, created on the first call and never deleted.
    static Settings* instance();

    // Reads the files under HOME (or "/tmp"), creating them empty when they are missing.
    // A file that cannot be created or read (also one that is not a regular file) is
    // reported as "ERR", the settings start empty in memory and are never saved over it;
    // one that cannot be created also clears created().
    // A settings file that does not parse is moved aside to "<path>.bad" (or, when that is
    // taken, "<path>.bad.1" and so on; a "WRN" names both), so that the next save cannot
    // overwrite the user's data with defaults. A settings file that is a symbolic link is
    // read and written through the link. Another user's file, or another user's link (root
    // may run with HOME set to that user's home), is left as it is: a "WRN" names it, and
    // the settings start with their defaults and are never saved there; the same holds for
    // the signal-list file, whose lists are then neither stored nor restored.
    // instance() is the one production object; tests make their own.
    Settings();
    virtual ~Settings();

    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    // False when the settings file or the signal-list file could not be created: the
    // program cannot start then.
    bool created() const { return filesCreated; }

    // Writes the settings file. A failure is reported as "ERR" and gives false; a file that
    // could not be read at the start, or another user's, is left as it is without a report.
    bool save();
    // The same without a report: on failure `reason` says why, for callers that report
    // the failure in their own words.
    bool save(Glib::ustring& reason);

    bool getSplitView();
    void setSplitView(bool on);
    // "./dummy" means no file; any other path is stored absolute.
    Glib::ustring getDbFile();
    void setDbFile(const Glib::ustring& path);
    Glib::ustring getVsdFile();
    void setVsdFile(const Glib::ustring& path);
    bool getPrettyTime();
    void setPrettyTime(bool on);
    bool getShowDelta();
    void setShowDelta(bool on);
    double getLineWidth();
    void setLineWidth(double width);
    Glib::ustring getListFont();
    void setListFont(const Glib::ustring& font);
    bool getDecimalComma();
    void setDecimalComma(bool on);
    // The bus-load averaging window in ms; a stored value <= 0 is replaced by 100.
    int getBitrateInterval();
    void setBitrateInterval(int ms);
    // A change of the default colour makes the Store reload the signal colours and
    // announce changed settings.
    Glib::ustring getDefSigColor();
    void setDefSigColor(const Glib::ustring& colour);
    Glib::ustring getBgColor();
    void setBgColor(const Glib::ustring& colour);
    Glib::ustring getRulerColor();
    void setRulerColor(const Glib::ustring& colour);
    double getRulerTransparency();
    void setRulerTransparency(double alpha);
    Glib::ustring getGridColor();
    void setGridColor(const Glib::ustring& colour);
    Glib::ustring getRulerTextColor();
    void setRulerTextColor(const Glib::ustring& colour);
    double getRulerTxtTransparency();
    void setRulerTxtTransparency(double alpha);
    Glib::ustring getRulerTextBackgroundColor();
    void setRulerTextBackgroundColor(const Glib::ustring& colour);
    double getRulerTxtBackgroundTransparency();
    void setRulerTxtBackgroundTransparency(double alpha);
    int getFontSize();
    void setFontSize(int size);
    Glib::ustring getLogPath();
    void setLogPath(const Glib::ustring& path);
    Glib::ustring getLivePath();
    void setLivePath(const Glib::ustring& path);
    Glib::ustring getListPath();
    void setListPath(const Glib::ustring& path);
    // Stores only executable programs; the getter answers "/usr/bin/gedit" when nothing
    // usable is stored.
    Glib::ustring getDefaultEditor();
    void setDefaultEditor(const Glib::ustring& path);

    // The colour of iface.msg.sig. A signal without a colour of its own follows the
    // default colour, also through later changes of it.
    Glib::ustring getSignalColor(const Glib::ustring& iface, const Glib::ustring& msg, const Glib::ustring& sig);
    void setSignalColor(const Glib::ustring& iface, const Glib::ustring& msg, const Glib::ustring& sig,
                        Glib::ustring colour);

    // Stored signal lists: the full names of the enabled signals, kept per VSD or DBC file
    // in the signal-list file, or in a list file of the user's choosing (group
    // "storetofile"). The group of the current VSD (else DBC) file; empty when neither is set.
    Glib::ustring signalListGroup();
    // Switches every signal off, then on each signal the group lists; names that no longer
    // exist are skipped. False, and nothing changed, when the file does not parse or the
    // group or its list is missing, or when it cannot be read (reported as "ERR"; also
    // when it is no regular file).
    bool loadSignalList(const Glib::ustring& file, const Glib::ustring& group);
    // Writes the enabled signals into the group of `file` (created when missing), keeping
    // the file's other groups, through a symbolic link of the user's or root's to the file
    // it names. Problems are reported as "WRN" (also another user's link at the path, which
    // is left as it is), a path that holds no regular file as "ERR"; nothing is written then.
    void storeSignalList(const Glib::ustring& file, const Glib::ustring& group);
    // Neither does anything when the signal-list file is another user's (restore: false).
    bool restoreSelectedSignals();
    // Does nothing while neither a VSD nor a DBC file is set.
    void storeSelectedSignals();

    const Glib::ustring settingsName = "/.tarnwick";
    const Glib::ustring settingsPath;
    const Glib::ustring listName = "/.tarnwick_siglist";
    const Glib::ustring listPath;

private:
    // The getter rule: the stored value, or else the fallback stored through `setter`.
    template <class T, class Setter>
    T readGlobal(const char* key, const T& fallback, Setter setter);

    // Held for every access to either key file. Recursive: getters store their defaults
    // through the setters. Calls into the Store are made without it.
    std::recursive_mutex mutex;
    // Not empty: why the settings file is never written over (after its path).
    Glib::ustring keptBecause;
    bool listsKept = false; // the signal-list file is another user's: never read or written
    bool filesCreated = true;
    // The current VSD file, else the current DBC file, else "./dummy".
    Glib::ustring currentListSource();

    // The stored signal lists, and the VSD or DBC path behind the current list group.
    Glib::KeyFile listKeyFile;
    Glib::ustring listSource;
};

} // namespace vistra

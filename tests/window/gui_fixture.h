#pragma once
// GTK started once per test program, and the process's Store loaded from a small DBC
// file for each test.
#include "core/message_log.h"
#include "core/signal.h"
#include "store/store.h"
#include "test_helpers.h"

#include <glibmm/main.h>
#include <gtest/gtest.h>
#include <gtkmm/treemodel.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace vistra::test {

// Interface "Can" with three messages (one without signals); the first character of the
// names varies in case so that the sort order shows.
inline const char* kListDbc = R"(VERSION ""
BO_ 100 motor: 8 ECU
 SG_ rpm : 0|16@1+ (1,0) [0|8000] "rpm" Vector__XXX
 SG_ Torque : 16|16@1+ (1,0) [0|500] "Nm" Vector__XXX
 SG_ oil&temp : 32|8@1+ (1,0) [0|200] "degC" Vector__XXX

BO_ 200 Body: 8 ECU
 SG_ Speed : 0|16@1+ (1,0) [0|300] "km/h" Vector__XXX
 SG_ door : 16|1@1+ (1,0) [0|1] "" Vector__XXX

BO_ 300 Alive: 8 ECU

CM_ SG_ 100 rpm "Crank <speed> & more";
)";

class StoreFixture : public testing::Test {
protected:
    StoreFixture()
    {
        char tmpl[] = "/tmp/tarnwick-window-XXXXXX";
        dir = mkdtemp(tmpl);
        dbcPath = dir + "/list.dbc";
        std::ofstream(dbcPath) << kListDbc;
        load();
    }
    ~StoreFixture() override
    {
        store.clearData();
        store.parsing = false;
        store.dumpPending = false;
        store.textMode = false;
        std::filesystem::remove_all(dir);
        drainLog();
    }

    void load()
    {
        store.clearData();
        store.addLoggerIface();
        store.loadDbc(dbcPath, 0, "Can");
        store.createBuiltinSignals();
    }

    Signal& sig(const char* fullName) { return *store.findSignal(fullName); }

    // Full names of the enabled signals, sorted.
    std::vector<std::string> enabledSignals()
    {
        std::vector<std::string> out;
        store.forEachSignal([&out](Signal& s) {
            if (s.enabled)
                out.push_back(s.fullName.raw());
        });
        std::sort(out.begin(), out.end());
        return out;
    }

    Store& store = Store::instance();
    std::string dir;
    std::string dbcPath;
};

} // namespace vistra::test

// Feeds arbitrary bytes to the lookup-table reader as a table file for one to three inputs
// (the first byte chooses how many), then looks up values in and around the table. A table
// that is refused ends in std::invalid_argument; a table that is taken must answer every
// lookup. Anything else (a crash, a sanitizer report, a failed lookup, another exception,
// a hang) is a finding.
#include "core/message_log.h"
#include "core/signal.h"
#include "core/store_host.h"
#include "fuzz/scratch_file.h"
#include "virtual/lookup_table.h"

#include <glibmm/keyfile.h>

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

using namespace vistra;

namespace {

// Three input signals by name; nothing else of a store is needed.
class Host : public StoreHost {
public:
    std::shared_ptr<Signal> findSignal(const Glib::ustring& name) const override
    {
        return std::make_shared<Signal>(nullptr, name);
    }
};

void collectKeys(const LookupTable::Node& node, std::size_t depth, std::size_t inputs, std::vector<double>& keys)
{
    if (depth > inputs || keys.size() >= 64)
        return;
    for (const auto& child : node.children) {
        keys.push_back(child.key);
        collectKeys(child, depth + 1, inputs, keys);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static Host host;
    StoreHost::install(&host);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const u8* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const int inputs = data[0] % 3 + 1;
    const std::string& path = fuzz::writeScratch(data + 1, size - 1);

    std::string definition = "[T]\nmethod=lookuptable\nstep=100\nfile=" + path + "\n";
    for (int k = 1; k <= inputs; ++k)
        definition += "signal_0" + std::to_string(k) + "=CAN0.In.X" + std::to_string(k) + "\n";
    Glib::KeyFile file;
    file.load_from_data(definition);
    std::shared_ptr<LookupTable> table;
    try {
        table = std::static_pointer_cast<LookupTable>(LookupTable::create(nullptr, "T", file, "/x.vsd"));
    } catch (const std::invalid_argument&) {
    }
    if (table) {
        std::vector<double> keys;
        collectKeys(table->root, 1, static_cast<std::size_t>(inputs), keys);
        const double inf = std::numeric_limits<double>::infinity();
        keys.insert(keys.end(), {-inf, inf, std::nan(""), -1e300, 1e300, 0.0});
        std::vector<double> x(static_cast<std::size_t>(inputs));
        for (std::size_t p = 0; p < 32; ++p) {
            for (std::size_t i = 0; i < x.size(); ++i) {
                const double a = keys[(p * 7 + i * 3) % keys.size()];
                const double b = keys[(p * 5 + i + 1) % keys.size()];
                x[i] = p % 2 ? a : a + (b - a) * 0.25;
            }
            try {
                table->interpolate(table->root, x, 0);
            } catch (const std::runtime_error&) {
                std::abort(); // a table that was taken answers every lookup
            }
        }
        static FILE* null = std::fopen("/dev/null", "w");
        table->printTree(null);
    }
    auto& log = MessageLog::instance();
    while (!log.empty())
        log.pop();
    return 0;
}

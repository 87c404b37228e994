#include "store/text_output.h"

#include "core/can_iface.h"
#include "core/constants.h"
#include "core/message.h"
#include "core/signal.h"
#include "core/virtual_signal.h"
#include "store/store.h"

#include <strings.h>

#include <algorithm>
#include <vector>

namespace vistra {

namespace {

struct Entry {
    Glib::ustring name;
    double value;
};

} // namespace

bool lessNoCase(const Glib::ustring& a, const Glib::ustring& b)
{
    return strcasecmp(a.c_str(), b.c_str()) < 0;
}

void printTextResult(const Store& store, bool withHeader, std::FILE* out)
{
    auto iface = store.getIface(kVirtualIface);
    if (!iface)
        return;
    std::vector<Entry> entries;
    for (const auto& [id, msg] : iface->messages) {
        for (const auto& [name, signal] : msg->signalsByName) {
            auto* printable = dynamic_cast<PrintableSignal*>(signal.get());
            double value = 0.0;
            if (!signal->enabled || !printable || !printable->summary(&value))
                continue;
            Glib::ustring label = msg->name + "." + signal->name;
            if (!signal->unit.empty())
                label += " (" + signal->unit + ")";
            entries.push_back({label, value});
        }
    }
    if (entries.empty())
        return;
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return lessNoCase(a.name, b.name); });
    const std::size_t last = entries.size() - 1;
    if (withHeader)
        for (std::size_t i = 0; i < entries.size(); ++i)
            std::fprintf(out, "%s%s", entries[i].name.c_str(), i == last ? "\n" : "\t");
    for (std::size_t i = 0; i < entries.size(); ++i)
        std::fprintf(out, "%.2f%s", entries[i].value, i == last ? "\n" : "\t");
}

} // namespace vistra

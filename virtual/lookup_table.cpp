#include "virtual/lookup_table.h"

#include "core/parse_number.h"
#include "core/regular_file.h"
#include "core/report.h"

#include <glibmm/miscutils.h>

#include <algorithm>
#include <stdexcept>
#include <string>

namespace vistra {
namespace {

constexpr const char* kFormatError = "LookupTable file format error, last column not found";

// The child of `node` with exactly this key, made when there is none yet. The children
// stay in ascending order, so that rows may come in any order.
LookupTable::Node& childWithKey(LookupTable::Node& node, double key)
{
    auto& c = node.children;
    auto it = std::lower_bound(c.begin(), c.end(), key, [](const LookupTable::Node& n, double k) { return n.key < k; });
    if (it != c.end() && it->key == key)
        return *it;
    return *c.insert(it, LookupTable::Node{key, {}});
}

void printNode(std::FILE* out, const LookupTable::Node& node, int level)
{
    for (int k = 0; k < level; ++k)
        std::fputs(". ", out);
    std::fprintf(out, " %f\n", node.key);
    for (const auto& child : node.children)
        printNode(out, child, level + 1);
}

} // namespace

LookupTable::LookupTable(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile,
                         const Glib::ustring& vsdPath)
    : CustomSignal(std::move(parent), group, keyFile)
{
    if (readNumberedInputs(keyFile, group) == 0)
        throw std::invalid_argument("At least one signal_XX= must be defined");
    if (!keyFile.has_key(group, "file"))
        throw std::invalid_argument("Missing vector file path ('file') for " + group.raw());
    lookupValues.resize(inputs.size());
    readTable(keyFile.get_string(group, "file").raw(), vsdPath.raw());
}

LookupTable::LookupTable() : CustomSignal(nullptr, Glib::ustring()) {}

LookupTable::~LookupTable() = default;

std::shared_ptr<Signal> LookupTable::create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                            Glib::KeyFile& keyFile, const Glib::ustring& vsdPath)
{
    return std::make_shared<LookupTable>(std::move(parent), group, keyFile, vsdPath);
}

void LookupTable::readTable(const std::string& file, const std::string& vsdPath)
{
    const std::string path =
        Glib::path_is_absolute(file) ? file : Glib::build_filename(Glib::path_get_dirname(vsdPath), file);
    RegularFile in(path);
    std::string content;
    if (!in.ok() || !in.readAll(content))
        throw std::invalid_argument(path + " can't be read.");

    // Lines are cut in place: the number reader stops at the end of its line.
    const std::size_t columns = inputs.size() + 1;
    std::size_t rows = 0;
    std::size_t lineNumber = 0;
    for (std::size_t begin = 0; begin < content.size();) {
        std::size_t end = content.find('\n', begin);
        if (end == std::string::npos)
            end = content.size();
        if (end < content.size())
            content[end] = '\0';
        ++lineNumber;
        const std::size_t numbers = parseColumns(root, content.c_str() + begin);
        // A row that ends before its output would make every lookup that reaches it fail.
        if (numbers > 0 && numbers < columns)
            throw std::invalid_argument(std::string(kFormatError) + ": " + path + " line " +
                                        std::to_string(lineNumber) + " has " + std::to_string(numbers) +
                                        " numbers, a row needs " + std::to_string(columns) +
                                        " (one per input, then the output)");
        if (numbers > 0)
            ++rows;
        begin = end + 1;
    }
    if (rows == 0)
        throw std::invalid_argument(std::string(kFormatError) + ": " + path + " has no table rows");
}

std::size_t LookupTable::parseColumns(Node& node, const char* pos)
{
    // Built in a loop, not one call per number: a long row costs no stack.
    const std::size_t columns = inputs.size() + 1;
    Node* current = &node;
    std::size_t count = 0;
    while (count < columns) {
        const char* end = pos;
        const double key = parseNumber(pos, &end);
        if (end == pos)
            break;
        pos = end;
        current = &childWithKey(*current, key);
        ++count;
    }
    return count;
}

double LookupTable::interpolate(const Node& node, const std::vector<double>& x, std::size_t i) const
{
    const Node* current = &node;
    while (i < x.size()) {
        const auto& c = current->children;
        if (c.empty())
            throw std::runtime_error(kFormatError);
        const double v = x[i++];
        // Held at the ends: no extrapolation beyond the table.
        if (!(v > c.front().key)) {
            current = &c.front();
            continue;
        }
        if (!(v < c.back().key)) {
            current = &c.back();
            continue;
        }
        // The first child at or above v; both neighbours exist, and keys are unique.
        const auto hi = std::lower_bound(c.begin(), c.end(), v, [](const Node& n, double k) { return n.key < k; });
        if (hi->key == v) {
            current = &*hi;
            continue;
        }
        const auto lo = hi - 1;
        const double yLo = interpolate(*lo, x, i);
        const double yHi = interpolate(*hi, x, i);
        return yLo + (yHi - yLo) * (v - lo->key) / (hi->key - lo->key);
    }
    if (current->children.empty())
        throw std::runtime_error(kFormatError);
    return current->children.front().key;
}

void LookupTable::compute()
{
    for (std::size_t k = 0; k < inputs.size(); ++k)
        lookupValues[k] = inputs[k].value;
    double value = 0.0;
    try {
        value = interpolate(root, lookupValues, 0);
    } catch (const std::runtime_error& e) {
        if (!lookupFailed) {
            lookupFailed = true;
            reportError("Computing %s failed: %s", fullName.c_str(), e.what());
        }
        return;
    }
    addValue(currentTime, value);
}

void LookupTable::printTree(std::FILE* out) const { printNode(out, root, 0); }

} // namespace vistra

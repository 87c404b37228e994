#pragma once
// A virtual signal looked up in a table file: column k of a row holds a value of input k,
// the column after the last input the output. At every step the inputs are looked up one
// after the other, interpolating linearly between the neighbouring rows and holding the
// table's first and last values beyond its ends.
#include "virtual/custom_signal.h"

#include <cstdio>
#include <vector>

namespace vistra {

class LookupTable : public CustomSignal {
public:
    // The rows as a tree: the root's children hold the values of column 1, theirs the
    // values of column 2 under that value, and so on; below the last input's level the
    // outputs. Each level is in ascending order with every value once (equal values of
    // rows are merged).
    struct Node {
        double key = 0.0;
        std::vector<Node> children;
    };

    // Keys: signal_01, signal_02, ... (at least one) and file, the table file, relative to
    // the directory of `vsdPath` unless absolute. A file that cannot be read, holds no row
    // or has a row with fewer numbers than inputs + 1 is refused here.
    LookupTable(std::shared_ptr<Message> parent, const Glib::ustring& group, Glib::KeyFile& keyFile,
                const Glib::ustring& vsdPath);
    // A table without inputs and without rows.
    LookupTable();
    ~LookupTable() override;

    static std::shared_ptr<Signal> create(std::shared_ptr<Message> parent, const Glib::ustring& group,
                                          Glib::KeyFile& keyFile, const Glib::ustring& vsdPath);

    // Reads the table file into the tree.
    void readTable(const std::string& file, const std::string& vsdPath);
    // Adds the numbers of one row at `pos` below `node`, at most one per input and the
    // output (further numbers are not used); how many it added.
    std::size_t parseColumns(Node& node, const char* pos);
    // The output for the input values x[i..] below `node`. Throws std::runtime_error when
    // the tree ends before the output.
    double interpolate(const Node& node, const std::vector<double>& x, std::size_t i) const;
    // A failed lookup stores nothing for the step and is reported once.
    void compute() override;
    // The tree, one node per line, indented with ". " per level (for diagnosis).
    void printTree(std::FILE* out = stdout) const;

    Node root;

private:
    std::vector<double> lookupValues; // the inputs' values of the step
    bool lookupFailed = false;
};

} // namespace vistra

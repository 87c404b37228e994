#pragma once
// The numeric settings of a signal definition. The key file reads "nan", "inf" and "1e999"
// as such: a NaN is never a setting, and an infinity only where it means "no limit".
#include <glibmm/keyfile.h>
#include <glibmm/ustring.h>

#include <vector>

namespace vistra {

// The infinities that a numeric setting may hold.
enum class Infinities {
    None,     // the value enters the arithmetic
    Both,     // a level that is only compared: one side of it is never or always reached
    Negative, // a lower limit: -inf is none
    Positive, // an upper limit: inf is none
};

// The number of `key` in `group`. A value that does not parse throws the key file's
// Glib::KeyFileError; a NaN, or an infinity that `allowed` does not take, throws
// std::invalid_argument "Expected '<key>' of <group> to be a finite number but got <text>"
// (with the infinity allowed named after "finite number").
double numberSetting(Glib::KeyFile& keyFile, const Glib::ustring& group, const Glib::ustring& key,
                     Infinities allowed = Infinities::None);

// The numbers of the list `key` ("a;b"), every one finite.
std::vector<double> finiteNumbers(Glib::KeyFile& keyFile, const Glib::ustring& group, const Glib::ustring& key);

} // namespace vistra

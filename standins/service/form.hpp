#pragma once
// application/x-www-form-urlencoded bodies and query strings: "+" is a blank, "%hh" a byte.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace service_standin {

using FormFields = std::vector<std::pair<std::string, std::string>>;

// Value of one hexadecimal digit, -1 for any other character.
int hexDigitValue(char c);

// A malformed escape ("%G1", a "%" at the end) is kept as it stands.
std::string percentDecode(std::string_view text);
// Fields in body order; a part without "=" is a field with an empty value; empty parts are skipped.
FormFields decodeForm(std::string_view body);
// Value of the first field of that name, nullptr when absent.
const std::string* formValue(const FormFields& fields, std::string_view name);

}  // namespace service_standin

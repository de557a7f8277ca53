#pragma once

#include <string>
#include <string_view>

namespace quorvel::geometry_doc {

// The {found} part of "invalid type: {found}, expected {what}" for a number
// token: "integer `n`" when it is an integer within 64 bits, else "floating
// point `x`" with x the shortest digits that read back to the same double.
std::string describe_number(std::string_view token);

// The same for a string value: "string " and the text quoted, specials escaped.
std::string describe_string(std::string_view value);

}  // namespace quorvel::geometry_doc

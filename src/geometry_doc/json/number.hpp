#pragma once

#include <optional>
#include <string_view>

namespace quorvel::geometry_doc {

// The double nearest to a number token that already matches the JSON grammar.
// Empty when its magnitude is beyond the double range; a magnitude below the
// range gives a zero carrying the token's sign.
std::optional<double> json_number_value(std::string_view token);

}  // namespace quorvel::geometry_doc

#include "geometry_doc/overflowing_numbers.hpp"

#include <cmath>

#include <nlohmann/json.hpp>

namespace quorvel::geometry_doc {

std::vector<ByteRange> overflowing_number_tokens(std::string_view text) {
    using Adapter = nlohmann::detail::iterator_input_adapter<InputCursor::Iterator>;
    using Lexer = nlohmann::detail::lexer<nlohmann::json, Adapter>;
    using Token = Lexer::token_type;

    InputCursor cursor(text);
    Lexer lexer(Adapter(cursor.begin(), cursor.end()), false);
    std::vector<ByteRange> found;
    for (;;) {
        const Token token = lexer.scan();
        if (token == Token::end_of_input || token == Token::parse_error) return found;
        if (token == Token::value_float && !std::isfinite(lexer.get_number_float())) {
            // The lexer holds the byte after the number unless the text ended.
            const std::size_t end = cursor.consumed() - (cursor.reached_end() ? 0 : 1);
            found.push_back({end - lexer.get_string().size(), end});
        }
    }
}

}  // namespace quorvel::geometry_doc

// Statement text: the tokenizer, marker numbering, TOP rewriting and statement kinds (see
// sql_text.h). The tokenizer knows only what these steps need: quotes, comments, words,
// numbers, markers and parentheses; SQLite parses the statement itself.
#include "engine/sql/sql_text.h"

#include <cctype>

namespace varelum::engine::sql {
namespace {

bool is_name_start(char c) {
    auto u = static_cast<unsigned char>(c);
    return std::isalpha(u) || c == '_' || u >= 0x80;
}

bool is_name_char(char c) {
    auto u = static_cast<unsigned char>(c);
    return std::isalnum(u) || c == '_' || c == '$' || u >= 0x80;
}

// End of a quoted run that starts at `begin` (on the opening quote): after the closing quote,
// where a doubled quote stands for one; the end of the text when it is not closed.
std::size_t quoted_end(std::string_view text, std::size_t begin, char close) {
    std::size_t i = begin + 1;
    while (i < text.size()) {
        if (text[i] == close) {
            if (close != ']' && i + 1 < text.size() && text[i + 1] == close) {
                i += 2;
                continue;
            }
            return i + 1;
        }
        ++i;
    }
    return text.size();
}

class Tokenizer {
  public:
    Tokenizer(std::string_view text, std::vector<std::string>& markers)
        : text_(text), markers_(markers) {}

    std::vector<Token> run() {
        std::vector<Token> tokens;
        while (pos_ < text_.size()) {
            tokens.push_back(next());
        }
        return tokens;
    }

  private:
    Token make(TokenKind kind, std::size_t begin, std::size_t end) {
        Token token;
        token.kind = kind;
        token.text = std::string(text_.substr(begin, end - begin));
        token.depth = depth_;
        pos_ = end;
        return token;
    }

    Token marker(std::string name, std::size_t end) {
        markers_.push_back(std::move(name));
        Token token;
        token.kind = TokenKind::Marker;
        token.marker = markers_.size();
        token.text = "?" + std::to_string(token.marker);
        token.depth = depth_;
        pos_ = end;
        return token;
    }

    Token next() {
        std::size_t begin = pos_;
        char c = text_[begin];
        char after = begin + 1 < text_.size() ? text_[begin + 1] : '\0';
        if (std::isspace(static_cast<unsigned char>(c))) {
            std::size_t end = begin;
            while (end < text_.size() && std::isspace(static_cast<unsigned char>(text_[end]))) {
                ++end;
            }
            return make(TokenKind::Space, begin, end);
        }
        if (c == '-' && after == '-') {
            std::size_t end = text_.find('\n', begin);
            return make(TokenKind::Space, begin,
                        end == std::string_view::npos ? text_.size() : end);
        }
        if (c == '/' && after == '*') {
            std::size_t end = text_.find("*/", begin + 2);
            return make(TokenKind::Space, begin,
                        end == std::string_view::npos ? text_.size() : end + 2);
        }
        if (c == '\'') {
            return make(TokenKind::String, begin, quoted_end(text_, begin, '\''));
        }
        if (c == '"' || c == '`') {
            return make(TokenKind::QuotedName, begin, quoted_end(text_, begin, c));
        }
        if (c == '[') {
            return make(TokenKind::QuotedName, begin, quoted_end(text_, begin, ']'));
        }
        if (c == ':' && after == ':') {
            return make(TokenKind::Punct, begin, begin + 2);
        }
        if (c == ':' && (after == '"' || after == '\'' || after == '`')) {
            std::size_t close = text_.find(after, begin + 2);
            std::size_t end = close == std::string_view::npos ? text_.size() : close + 1;
            std::size_t name_end = close == std::string_view::npos ? text_.size() : close;
            return marker(std::string(text_.substr(begin + 2, name_end - begin - 2)), end);
        }
        if ((c == ':' || c == '@') && is_name_char(after)) {
            std::size_t end = begin + 1;
            while (end < text_.size() && is_name_char(text_[end])) {
                ++end;
            }
            return marker(std::string(text_.substr(begin + 1, end - begin - 1)), end);
        }
        if (c == '?') {
            std::size_t end = begin + 1;
            while (end < text_.size() && std::isdigit(static_cast<unsigned char>(text_[end]))) {
                ++end;
            }
            return marker(std::string(), end);
        }
        if (is_name_start(c)) {
            std::size_t end = begin + 1;
            while (end < text_.size() && is_name_char(text_[end])) {
                ++end;
            }
            return make(TokenKind::Word, begin, end);
        }
        if (std::isdigit(static_cast<unsigned char>(c)) ||
            (c == '.' && std::isdigit(static_cast<unsigned char>(after)))) {
            std::size_t end = begin + 1;
            while (end < text_.size() &&
                   (std::isalnum(static_cast<unsigned char>(text_[end])) || text_[end] == '.' ||
                    ((text_[end] == '+' || text_[end] == '-') &&
                     (text_[end - 1] == 'e' || text_[end - 1] == 'E')))) {
                ++end;
            }
            return make(TokenKind::Number, begin, end);
        }
        if (c == '(') {
            Token token = make(TokenKind::Punct, begin, begin + 1);
            ++depth_;
            return token;
        }
        if (c == ')') {
            if (depth_ > 0) {
                --depth_;
            }
            return make(TokenKind::Punct, begin, begin + 1);
        }
        return make(TokenKind::Punct, begin, begin + 1);
    }

    std::string_view text_;
    std::vector<std::string>& markers_;
    std::size_t pos_ = 0;
    int depth_ = 0;
};

std::size_t next_significant(const std::vector<Token>& tokens, std::size_t i) {
    while (i < tokens.size() && tokens[i].kind == TokenKind::Space) {
        ++i;
    }
    return i;
}

// Turns "SELECT [DISTINCT|ALL] TOP n" into "SELECT [DISTINCT|ALL]" with " LIMIT n" at the end
// of that SELECT: before the parenthesis that closes its level, or at the statement's end.
void rewrite_top(std::vector<Token>& tokens) {
    struct PendingLimit {
        int depth;
        Token count;
    };
    std::vector<PendingLimit> pending;
    std::vector<Token> result;
    auto flush_at = [&](int depth) {
        while (!pending.empty() && pending.back().depth >= depth) {
            auto add = [&](TokenKind kind, std::string text) {
                Token token;
                token.kind = kind;
                token.text = std::move(text);
                token.depth = pending.back().depth;
                result.push_back(std::move(token));
            };
            add(TokenKind::Space, " ");
            add(TokenKind::Word, "LIMIT");
            add(TokenKind::Space, " ");
            result.push_back(pending.back().count);
            add(TokenKind::Space, " ");
            pending.pop_back();
        }
    };
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const Token& token = tokens[i];
        if (token.kind == TokenKind::Punct && token.text == ")") {
            flush_at(token.depth + 1);
        }
        result.push_back(token);
        if (keyword(token) != "SELECT") {
            continue;
        }
        std::size_t j = next_significant(tokens, i + 1);
        if (j < tokens.size() &&
            (keyword(tokens[j]) == "DISTINCT" || keyword(tokens[j]) == "ALL")) {
            j = next_significant(tokens, j + 1);
        }
        if (j >= tokens.size() || keyword(tokens[j]) != "TOP") {
            continue;
        }
        std::size_t n = next_significant(tokens, j + 1);
        if (n >= tokens.size() ||
            (tokens[n].kind != TokenKind::Number && tokens[n].kind != TokenKind::Marker)) {
            continue;
        }
        for (std::size_t k = i + 1; k < j; ++k) {
            result.push_back(tokens[k]);
        }
        pending.push_back({token.depth, tokens[n]});
        i = n;
    }
    flush_at(0);
    tokens = std::move(result);
}

// Unquoted table names with their extension ("FROM Produtos.adt") would read as a table
// "adt" of a schema "Produtos": after the words that introduce a table, such a name is
// quoted as one.
void quote_file_names(std::vector<Token>& tokens) {
    static const char* const kBeforeTable[] = {"FROM", "JOIN", "INTO", "UPDATE", "TABLE", "EXISTS"};
    std::string previous;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind == TokenKind::Space) {
            continue;
        }
        bool after_table_word = false;
        for (const char* word : kBeforeTable) {
            after_table_word = after_table_word || previous == word;
        }
        previous = keyword(tokens[i]);
        if (!after_table_word || tokens[i].kind != TokenKind::Word || i + 2 >= tokens.size() ||
            tokens[i + 1].text != "." || tokens[i + 2].kind != TokenKind::Word ||
            keyword(tokens[i + 2]) != "ADT") {
            continue;
        }
        tokens[i].text = "\"" + tokens[i].text + "." + tokens[i + 2].text + "\"";
        tokens[i].kind = TokenKind::QuotedName;
        tokens.erase(tokens.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                     tokens.begin() + static_cast<std::ptrdiff_t>(i) + 3);
        previous.clear();
    }
}

StatementKind kind_of(const std::vector<Token>& tokens) {
    std::vector<std::string> words;
    for (const Token& token : tokens) {
        if (token.kind == TokenKind::Space ||
            (token.kind == TokenKind::Punct && token.text == "(")) {
            continue;
        }
        words.push_back(keyword(token));
        if (words.size() == 3) {
            break;
        }
    }
    words.resize(3);
    const std::string& first = words[0];
    if (first == "SELECT" || first == "WITH" || first == "VALUES") {
        return StatementKind::Query;
    }
    if (first == "INSERT" || first == "UPDATE" || first == "DELETE" || first == "REPLACE") {
        return StatementKind::Change;
    }
    if (first == "EXECUTE" || first == "EXEC") {
        return StatementKind::Procedure;
    }
    if (first == "CREATE") {
        std::size_t k =
            (words[1] == "TEMP" || words[1] == "TEMPORARY" || words[1] == "UNIQUE") ? 2 : 1;
        if (words[k] == "TABLE") {
            return words[1] == "UNIQUE" ? StatementKind::Unsupported : StatementKind::CreateTable;
        }
        if (words[k] == "INDEX") {
            return StatementKind::CreateIndex;
        }
        return StatementKind::Unsupported;
    }
    if (first == "DROP") {
        if (words[1] == "TABLE") {
            return StatementKind::DropTable;
        }
        if (words[1] == "INDEX") {
            return StatementKind::DropIndex;
        }
        return StatementKind::Unsupported;
    }
    if (first == "BEGIN" || first == "COMMIT" || first == "ROLLBACK" || first == "SAVEPOINT") {
        return StatementKind::Transaction;
    }
    if (first == "ALTER" || first == "ATTACH" || first == "DETACH" || first == "VACUUM" ||
        first == "END" || first == "RELEASE" || first == "REINDEX" || first == "ANALYZE") {
        return StatementKind::Unsupported;
    }
    return StatementKind::Other;
}

}  // namespace

std::string keyword(const Token& token) {
    if (token.kind != TokenKind::Word) {
        return {};
    }
    std::string upper = token.text;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return upper;
}

std::string token_name(const Token& token) {
    if ((token.kind == TokenKind::QuotedName || token.kind == TokenKind::String) &&
        token.text.size() >= 2) {
        char open = token.text.front();
        char close = open == '[' ? ']' : open;
        std::string inner = token.text.substr(1, token.text.size() - 2);
        if (close != ']') {
            std::string doubled(2, close);
            for (std::size_t at = inner.find(doubled); at != std::string::npos;
                 at = inner.find(doubled, at + 1)) {
                inner.erase(at, 1);
            }
        }
        return inner;
    }
    return token.text;
}

Script parse_script(std::string_view text) {
    Script script;
    std::vector<Token> all = Tokenizer(text, script.markers).run();
    std::vector<Token> current;
    auto finish = [&] {
        bool empty = true;
        for (const Token& token : current) {
            empty = empty && token.kind == TokenKind::Space;
        }
        if (!empty) {
            StatementText statement;
            rewrite_top(current);
            quote_file_names(current);
            statement.kind = kind_of(current);
            for (const Token& token : current) {
                statement.sql += token.text;
            }
            statement.tokens = std::move(current);
            script.statements.push_back(std::move(statement));
        }
        current.clear();
    };
    for (Token& token : all) {
        if (token.kind == TokenKind::Punct && token.text == ";" && token.depth == 0) {
            finish();
            continue;
        }
        current.push_back(std::move(token));
    }
    finish();
    return script;
}

std::vector<const Token*> significant(const StatementText& statement) {
    std::vector<const Token*> result;
    for (const Token& token : statement.tokens) {
        if (token.kind != TokenKind::Space) {
            result.push_back(&token);
        }
    }
    return result;
}

std::optional<PlainSelect> plain_select(const StatementText& statement) {
    if (statement.kind != StatementKind::Query) {
        return std::nullopt;
    }
    std::vector<const Token*> tokens = significant(statement);
    std::size_t i = 0;
    auto word_at = [&](std::size_t k) { return k < tokens.size() ? keyword(*tokens[k]) : ""; };
    if (word_at(i) != "SELECT") {
        return std::nullopt;
    }
    ++i;
    if (word_at(i) == "ALL") {
        ++i;
    }
    std::string qualifier;
    if (i < tokens.size() && tokens[i]->text == "*") {
        ++i;
    } else if (i + 2 < tokens.size() &&
               (tokens[i]->kind == TokenKind::Word || tokens[i]->kind == TokenKind::QuotedName) &&
               tokens[i + 1]->text == "." && tokens[i + 2]->text == "*") {
        qualifier = tokens[i]->text;
        i += 3;
    } else {
        return std::nullopt;
    }
    if (word_at(i) != "FROM") {
        return std::nullopt;
    }
    const Token* from = tokens[i];
    ++i;
    if (i >= tokens.size() ||
        (tokens[i]->kind != TokenKind::Word && tokens[i]->kind != TokenKind::QuotedName)) {
        return std::nullopt;
    }
    const Token* table = tokens[i];
    ++i;
    static const char* const kClauseStarts[] = {"WHERE", "ORDER", "LIMIT"};
    std::string alias;
    auto starts_clause = [&](std::size_t k) {
        std::string word = word_at(k);
        for (const char* start : kClauseStarts) {
            if (word == start) {
                return true;
            }
        }
        return false;
    };
    if (i < tokens.size() && !starts_clause(i)) {
        if (word_at(i) == "AS") {
            ++i;
        }
        if (i < tokens.size() &&
            (tokens[i]->kind == TokenKind::Word || tokens[i]->kind == TokenKind::QuotedName) &&
            !starts_clause(i)) {
            alias = tokens[i]->text;
            ++i;
        }
    }
    if (i < tokens.size() && !starts_clause(i)) {
        return std::nullopt;
    }
    static const char* const kNotPlain[] = {"GROUP",     "HAVING", "UNION",  "EXCEPT",
                                            "INTERSECT", "JOIN",   "WINDOW", "DISTINCT"};
    for (std::size_t k = i; k < tokens.size(); ++k) {
        if (tokens[k]->depth != 0) {
            continue;
        }
        if (tokens[k]->text == ",") {
            // A comma at the top level after FROM is ORDER BY's list, never a second table
            // (a join would have stopped the shape above).
            continue;
        }
        std::string word = word_at(k);
        for (const char* bad : kNotPlain) {
            if (word == bad) {
                return std::nullopt;
            }
        }
    }
    if (qualifier.empty()) {
        qualifier = alias.empty() ? table->text : alias;
    }
    PlainSelect plain;
    plain.table = token_name(*table);
    plain.rowid_query = "SELECT " + qualifier + ".rowid ";
    bool after_from = false;
    for (const Token& token : statement.tokens) {
        if (&token == from) {
            after_from = true;
        }
        if (after_from) {
            plain.rowid_query += token.text;
        }
    }
    return plain;
}

}  // namespace varelum::engine::sql

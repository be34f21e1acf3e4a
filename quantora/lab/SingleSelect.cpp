// Checking a typed query and making its connection read-only.
#include "quantora/lab/SingleSelect.h"

#include <cctype>

#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/TQuery.h"

namespace quantora {

AnsiString CheckSingleSelect(const std::string& sql, const db::SqlQuoting& quoting) {
    size_t begin = 0, end = sql.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(sql[begin]))) ++begin;
    while (end > begin &&
           (std::isspace(static_cast<unsigned char>(sql[end - 1])) || sql[end - 1] == ';'))
        --end;
    AnsiString body = sql.substr(begin, end - begin);
    char quote = 0;
    bool escapes = false;  // inside an E'...' literal
    for (size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        const char next = i + 1 < body.size() ? body[i + 1] : '\0';
        if (quote) {
            if (escapes && c == '\\') {
                ++i;
            } else if (c == quote) {
                if (next == quote && quote != ']')
                    ++i;  // a doubled quote stays inside
                else
                    quote = 0;
            }
        } else if (c == '\'' || c == '"' ||
                   (quoting.backtick_and_bracket_names && (c == '`' || c == '['))) {
            quote = c == '[' ? ']' : c;
            const bool prefixed =
                i > 0 && (body[i - 1] == 'E' || body[i - 1] == 'e') &&
                (i < 2 ||
                 !(std::isalnum(static_cast<unsigned char>(body[i - 2])) || body[i - 2] == '_'));
            escapes = quoting.backslash_escapes_in_e_literals && c == '\'' && prefixed;
        } else if (c == ';') {
            throw Exception("only a single SELECT statement is accepted (found ';' inside)");
        } else if ((c == '-' && next == '-') || (c == '/' && next == '*')) {
            throw Exception("comments are not accepted in the query");
        } else if (c == '$') {
            throw Exception("'$' is not accepted outside quotes in the query");
        }
    }
    if (quote) throw Exception("the query has an unterminated quote");
    size_t word = 0;
    while (word < body.size() && std::isalpha(static_cast<unsigned char>(body[word]))) ++word;
    AnsiString first = body.substr(0, word);
    for (char& c : first) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (first != "SELECT")
        throw Exception(Format("only a SELECT statement is accepted, not '%s'",
                               first.empty() ? body.substr(0, 20).c_str() : first.c_str()));
    return body;
}

ReadOnlySelect::ReadOnlySelect(const char* dbName, const std::string& sql) {
    const std::shared_ptr<db::Connection> conn = db::ConnectionFor(dbName);
    const AnsiString body = CheckSingleSelect(sql, conn->Quoting());
    conn->RefuseWrites();
    transaction_.emplace(dbName);
    query_.SetDatabaseName(dbName);
    query_.SetSQL(body);
    try {
        query_.Open();
    } catch (const Exception& e) {
        throw Exception("the query failed: " + e.Message);
    }
}

}  // namespace quantora

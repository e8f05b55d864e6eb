#include "scheme_statement.h"

#include <utility>
#include <vector>

#include "store/sql_clean.h"

namespace vela {

std::string SchemeSaveStatement(const SchemeForm& f) {
    const std::vector<std::pair<const char*, const std::string*>> columns = {
        {"code", &f.code},     {"url", &f.url},         {"before", &f.before},
        {"after", &f.after},   {"regular", &f.regular}, {"buquan", &f.buquan},
        {"cookie", &f.cookie}, {"tindex", &f.tindex},   {"uindex", &f.uindex},
        {"oindex", &f.oindex}, {"ua", &f.ua},           {"name", &f.name},
        {"type", &f.type},
    };
    auto quoted = [](const std::string& value) { return "'" + SqlQuote(value) + "'"; };
    std::string sql;
    if (f.id == "0") {
        std::string names = "isdo";
        std::string values = "'1'";
        for (const auto& [column, value] : columns) {
            names += std::string(",") + column;
            values += "," + quoted(*value);
        }
        sql = "insert into rule(" + names + ") values(" + values + ")";
    } else {
        sql = "update rule set ";
        for (size_t i = 0; i < columns.size(); ++i) {
            if (i) sql += ",";
            sql += std::string(columns[i].first) + "=" + quoted(*columns[i].second);
        }
        sql += " where id=" + f.id;
    }
    return sql;
}

}  // namespace vela

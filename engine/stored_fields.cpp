#include "stored_fields.h"

#include "store/row_id.h"

namespace vela {

bool LoadSchemeFields(Database& db, Scheme& scheme) {
    int64_t id = 0;
    if (!ParseRowId(scheme.id, id)) {
        scheme.fields = {};
        return true;  // a row the console gave a key of its own has no fields
    }
    return ReadSchemeFields(db, id, scheme.fields);
}

bool LoadSchemeFields(Database& db, std::vector<Scheme>& schemes) {
    std::unordered_map<int64_t, SchemeFields> fields;
    if (!ReadAllSchemeFields(db, fields)) return false;
    for (Scheme& scheme : schemes) {
        int64_t id = 0;
        const auto found = ParseRowId(scheme.id, id) ? fields.find(id) : fields.end();
        scheme.fields = found == fields.end() ? SchemeFields{} : found->second;
    }
    return true;
}

}  // namespace vela

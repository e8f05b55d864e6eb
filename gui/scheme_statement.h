#pragma once

#include <string>

#include "scheme_form.h"

namespace vela {

// The insert (id "0") or update statement that saves the form. Every value stands
// between single quotes with its apostrophes doubled, so it is stored exactly as
// typed, its ";", "(" and ")" included.
std::string SchemeSaveStatement(const SchemeForm& form);

}  // namespace vela

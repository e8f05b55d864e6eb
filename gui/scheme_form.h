#pragma once

#include "store/scheme_statement.h"

namespace vela {

class MainWindow;

// Reads every control of the form, the keywords and clean titles included;
// `type` stays empty.
SchemeForm ReadSchemeForm(MainWindow& window);

// Puts a scheme's keywords and clean titles into the form.
void WriteSchemeFormFields(MainWindow& window, const SchemeFields& fields);

}  // namespace vela

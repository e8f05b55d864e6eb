#pragma once

#include "store/scheme_statement.h"

namespace vela {

class MainWindow;

// Reads every control of the form; `type` stays empty.
SchemeForm ReadSchemeForm(MainWindow& window);

}  // namespace vela

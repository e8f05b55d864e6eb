#pragma once

#include "store/scheme_statement.h"

namespace vela {

class MainWindow;

// The editor's check box of the fetch: ticked, the scheme's page is rendered by
// the browser.
inline constexpr const char* kBrowserRenderBox = "浏览器渲染框";

// Reads every control of the form, the keywords, clean titles and fetch included;
// `type` stays empty.
SchemeForm ReadSchemeForm(MainWindow& window);

// Puts a scheme's keywords, clean titles and fetch into the form.
void WriteSchemeFormFields(MainWindow& window, const SchemeFields& fields);

}  // namespace vela

#pragma once

namespace vela {

class MainWindow;

// Gives the three article and scheme lists their design-time columns.
void SetUpListColumns(MainWindow& window);

}  // namespace vela

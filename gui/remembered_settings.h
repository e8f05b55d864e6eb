#pragma once

namespace vela {

class MainWindow;

// The settings that outlive a run: the three alert boxes, 自动监控框 and 频率框.
// They are kept with QSettings in the user's configuration folder
// (~/.config/vela/vela.conf), never beside the program.

// Puts the remembered values into the controls; what was never saved keeps its
// initial value. A checked 自动监控框 shows the frequency and its label, as a click
// on it would.
void RestoreSettings(MainWindow& window);
// Saves the current values of the five controls.
void SaveSettings(MainWindow& window);

// Restores, then saves after every change the user makes and once more when the
// program quits (the program itself may have corrected the frequency).
void BindRememberedSettings(MainWindow& window);

}  // namespace vela

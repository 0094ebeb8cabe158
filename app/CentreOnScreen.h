// Every window of the program opens centred on the screen it is on.
#pragma once

class QWidget;

// Moves the window, at its present size, to the middle of its screen's
// available area. Leaves it where it is when there is no screen.
void CentreOnScreen(QWidget &window);

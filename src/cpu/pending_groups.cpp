// Installers of instruction groups whose handlers are not in this build yet:
// their slots keep the illegal-instruction handler.
#include "cpu/cycle.h"

void install_decimal_instructions() {}

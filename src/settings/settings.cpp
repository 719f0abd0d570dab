#include "settings/settings.h"

EmulatorSettings settings;

void reset_settings() {
    settings = EmulatorSettings{};
    settings.silent_mode = 1;
    settings.seven_bit_symb_mask = 0177777;
    settings.skp_cld_mask = 0300;
    settings.mon310_buffered = 1;
    settings.tdv_output = 1;
}

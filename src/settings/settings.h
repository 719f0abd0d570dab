// EmulatorSettings: the option flags that shell commands set and the rest of
// the emulator reads.
#pragma once

#include <cstdint>

struct EmulatorSettings {
    int silent_mode;
    uint32_t debug_level;
    int upper_case;
    int delay_after_cr;
    int stop_on_full_page;
    int logout_on_missing_carrier;
    uint32_t terminal_type;
    uint32_t seven_bit_symb_mask;
    int parity_on_symb_read;
    uint32_t mon_open_mode;
    uint32_t skp_cld_mask;
    uint32_t mon310_buffered;
    int norwegian_charset;
    uint32_t tdv_output;
    int use_virtual_keyboard;
    int nct_mode;
    int test_movew;
};

extern EmulatorSettings settings;

// Every setting at its default.
void reset_settings();

// The virtual keyboard's shell commands: the definition file that loads the
// per-key byte strings Alt and the key send to the ND program (the console
// keeps the table), and the operator's test of the console event reader.
#pragma once

#include <string>

// Applies one line of a definition file to the virtual key table and prints
// what it was parsed to. Returns false for the line that ends the
// definitions ("EOF").
bool apply_virtual_key_line(const std::string &line);

// Clears every key definition.
void clear_virtual_keys();

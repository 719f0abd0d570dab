// The register, argument, shift and bit slots of the instruction table.
#include "cpu/register_ops.h"

#include "cpu/cycle.h"

#include <cstdint>
#include <utility>

namespace {

using namespace register_group;

template <std::size_t... I> void install_register_operations(std::index_sequence<I...>) {
    ((instruction_table[0310 + I] = table_entry<register_operation<I>>), ...);
}

template <std::size_t... I> void install_eight(std::index_sequence<I...>) {
    ((instruction_table[0330 + I] = table_entry<shift_instruction<I>>), ...);
    ((instruction_table[0360 + I] = table_entry<argument_instruction<I>>), ...);
    ((instruction_table[0370 + I] = table_entry<bit_instruction<I>>), ...);
}

} // namespace

// Slot 317 (register operation 111) is no instruction and keeps the
// illegal-instruction handler.
void install_register_instructions() {
    install_register_operations(std::make_index_sequence<7>{});
    install_eight(std::make_index_sequence<8>{});
}

// The register, argument, shift and bit slots of the instruction table.
#include "cpu/register_ops.h"

#include "cpu/cycle.h"

#include <array>
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

// The row of forms of one slot.
template <int SLOT, std::size_t... LOW>
constexpr std::array<RegisterForm, 256> slot_forms(std::index_sequence<LOW...>) {
    return {register_form<SLOT, LOW>...};
}

constexpr int slot_of_row(int row) {
    return row < 7 ? 0310 + row : row < 15 ? 0330 + (row - 7) : 0370 + (row - 15);
}

template <std::size_t... ROW>
constexpr std::array<std::array<RegisterForm, 256>, FORM_ROWS>
all_forms(std::index_sequence<ROW...>) {
    return {slot_forms<slot_of_row(ROW)>(std::make_index_sequence<256>{})...};
}

} // namespace

namespace register_group {
const std::array<std::array<RegisterForm, 256>, FORM_ROWS> register_forms =
    all_forms(std::make_index_sequence<FORM_ROWS>{});
}

// Slot 317 (register operation 111) is no instruction and keeps the
// illegal-instruction handler.
void install_register_instructions() {
    install_register_operations(std::make_index_sequence<7>{});
    install_eight(std::make_index_sequence<8>{});
}

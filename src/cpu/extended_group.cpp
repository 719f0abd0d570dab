// The op14nn slots of the instruction table.
#include "cpu/extended_group.h"

#include "cpu/cycle.h"

#include <utility>

namespace {

using namespace extended_group_slots;

template <std::size_t... SLOT> void install_slots(std::index_sequence<SLOT...>) {
    ((instruction_table[0300 + SLOT] = table_entry<extended_group<SLOT>>), ...);
}

} // namespace

void install_extended_instructions() {
    install_slots(std::make_index_sequence<8>{});
}

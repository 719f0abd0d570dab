// The memory-reference slots of the instruction table.
#include "cpu/memory_reference.h"

#include "cpu/cycle.h"

#include <cstdint>
#include <utility>

namespace {

using namespace memory_reference_group;

template <int OP, std::size_t... MODE> void install_group(std::index_sequence<MODE...>) {
    ((instruction_table[(OP << 3) | MODE] = table_entry<memory_reference<OP, MODE>>), ...);
}

template <int OP> void install_group() {
    install_group<OP>(std::make_index_sequence<8>{});
}

template <std::size_t... CONDITION>
void install_conditional_jumps(std::index_sequence<CONDITION...>) {
    ((instruction_table[(CONDITIONAL_JUMP << 3) | CONDITION] =
          table_entry<conditional_jump<CONDITION>>),
     ...);
}

} // namespace

void install_memory_reference_instructions() {
    install_group<STZ>();
    install_group<STA>();
    install_group<STT>();
    install_group<STX>();
    install_group<STD>();
    install_group<LDD>();
    install_group<STF>();
    install_group<LDF>();
    install_group<MIN>();
    install_group<LDA>();
    install_group<LDT>();
    install_group<LDX>();
    install_group<ADD>();
    install_group<SUB>();
    install_group<AND>();
    install_group<ORA>();
    install_group<MPY>();
    install_group<JMP>();
    install_conditional_jumps(std::make_index_sequence<8>{});
    install_group<JPL>();
}

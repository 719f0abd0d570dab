// Stand-ins for the decimal, block-move and stack instructions until their own
// sources (decimal.cpp, block_stack.cpp) define them: until then these words
// stop the program as illegal instructions. Whoever adds those sources deletes
// this file in the same commit.
#include "cpu/cycle.h"
#include "cpu/extended_dispatch.h"

void execute_decimal_instruction() { illegal_instruction(); }

#include "isa.h"

#include <iterator>

namespace ndtools {

namespace {

// Internal registers that TRA, TRR, MCL and MST reach by number. Numbers
// without a name are written as octal numbers.
constexpr const char *tra_registers[16] = {"STS", nullptr, nullptr, "PGST",
                                           "PVL", "IIC",   "PID",   "PIE"};
constexpr const char *trr_registers[16] = {"STS",   nullptr, nullptr, "PCR",
                                           nullptr, "IIE",   "PID",   "PIE"};
constexpr const char *mcl_registers[16] = {"STS",   nullptr, nullptr, nullptr,
                                           nullptr, nullptr, "PID",   "PIE"};
constexpr const char *mst_registers[16] = {"STS",   nullptr, nullptr, nullptr,
                                           nullptr, "IIC",   "PID",   "PIE"};

constexpr InstructionForm memory(const char *name, uint16_t base) {
    return {name, base, 0174000, Form::memory, 0, 0, 0, false, false, nullptr};
}
constexpr InstructionForm jump(const char *name, uint16_t base) {
    return {name, base, 0177400, Form::cond_jump, 0, 0, 0, false, false, nullptr};
}
constexpr InstructionForm simple(const char *name, uint16_t base, uint16_t mask, Form form,
                                 uint16_t ignored = 0) {
    return {name, base, mask, form, ignored, 0, 0, false, false, nullptr};
}
constexpr InstructionForm alias(const char *name, uint16_t base) {
    return {name, base, 0176000, Form::register_op, 0, 0, 0, false, true, nullptr};
}
constexpr InstructionForm word(const char *name, uint16_t base) {
    return {name, base, 0177777, Form::plain, 0, 0, 0, false, false, nullptr};
}
constexpr InstructionForm with_byte(const char *name, uint16_t base, uint16_t max,
                                    bool optional = false) {
    return {name,
            base,
            static_cast<uint16_t>(0177777 & ~max),
            Form::byte_operand,
            0,
            0,
            max,
            optional,
            false,
            nullptr};
}
constexpr InstructionForm internal(const char *name, uint16_t base, const char *const *names) {
    return {name, base, 0177700, Form::internal_reg, 060, 0, 0, false, false, names};
}
constexpr InstructionForm stack(const char *name, uint16_t base, uint8_t parameters) {
    return {name, base, 0177777, Form::stack, 0, parameters, 0, false, false, nullptr};
}

// Decoding takes the first entry whose fixed bits match, skipping aliases.
// The entries do not overlap except IOTMON inside the IOT range, which comes
// first; 147400-147777 (register operation 111) is excluded explicitly.
constexpr InstructionForm table[] = {
    // Memory reference, operation code in bits 15-11.
    memory("STZ", 0000000),
    memory("STA", 0004000),
    memory("STT", 0010000),
    memory("STX", 0014000),
    memory("STD", 0020000),
    memory("LDD", 0024000),
    memory("STF", 0030000),
    memory("LDF", 0034000),
    memory("MIN", 0040000),
    memory("LDA", 0044000),
    memory("LDT", 0050000),
    memory("LDX", 0054000),
    memory("ADD", 0060000),
    memory("SUB", 0064000),
    memory("AND", 0070000),
    memory("ORA", 0074000),
    memory("FAD", 0100000),
    memory("FSU", 0104000),
    memory("FMU", 0110000),
    memory("FDV", 0114000),
    memory("MPY", 0120000),
    memory("JMP", 0124000),
    memory("JPL", 0134000),
    // Conditional jumps, condition in bits 10-8.
    jump("JAP", 0130000),
    jump("JAN", 0130400),
    jump("JAZ", 0131000),
    jump("JAF", 0131400),
    jump("JPC", 0132000),
    jump("JNC", 0132400),
    jump("JXZ", 0133000),
    jump("JXN", 0133400),
    // Extended group 140000-143777.
    word("MIX3", 0143200),
    word("LBYT", 0142200),
    word("SBYT", 0142600),
    simple("EXR", 0140600, 0177700, Form::execute, 0000007),
    simple("SKP", 0140000, 0174300, Form::skip),
    simple("RDIV", 0141600, 0177600, Form::divide, 0000107),
    simple("RMPY", 0141200, 0177600, Form::multiply, 0000100),
    word("BFILL", 0140130),
    word("MOVB", 0140131),
    word("MOVBF", 0140132),
    word("RDUS", 0140127),
    with_byte("MOVEW", 0143100, 077),
    stack("INIT", 0140134, 4),
    stack("ENTR", 0140135, 1),
    word("LEAV", 0140136),
    word("ELEAV", 0140137),
    word("TSET", 0140123),
    word("ADDD", 0140120),
    word("SUBD", 0140121),
    word("COMD", 0140122),
    word("PACK", 0140124),
    word("UPACK", 0140125),
    word("SHDE", 0140126),
    // Register operations, operation in bits 10-8.
    simple("SWAP", 0144000, 0177400, Form::register_op),
    simple("RAND", 0144400, 0177400, Form::register_op),
    simple("REXO", 0145000, 0177400, Form::register_op),
    simple("RORA", 0145400, 0177400, Form::register_op),
    simple("RADD", 0146000, 0176000, Form::register_op),
    alias("COPY", 0146100),
    alias("RCLR", 0146100),
    alias("RINC", 0146400),
    alias("RDCR", 0146200),
    alias("RSUB", 0146600),
    {"EXIT", 0146142, 0177777, Form::plain, 0, 0, 0, false, true, nullptr},
    // Internal registers and system control.
    internal("TRA", 0150000, tra_registers),
    internal("TRR", 0150100, trr_registers),
    internal("MCL", 0150200, mcl_registers),
    internal("MST", 0150300, mst_registers),
    word("OPCOM", 0150400),
    word("IOF", 0150401),
    word("ION", 0150402),
    word("POF", 0150404),
    word("PIOF", 0150405),
    word("SEX", 0150406),
    word("REX", 0150407),
    word("PON", 0150410),
    word("PION", 0150412),
    word("IOXT", 0150415),
    word("EXAM", 0150416),
    word("DEPO", 0150417),
    with_byte("WAIT", 0151000, 0377, true),
    simple("NLZ", 0151400, 0177400, Form::scale),
    simple("DNZ", 0152000, 0177400, Form::scale),
    with_byte("MON", 0153000, 0377),
    simple("IRW", 0153400, 0177600, Form::level_reg),
    simple("IRR", 0153600, 0177600, Form::level_reg),
    // Shifts: register in bits 8-7, mode in bits 10-9, count in bits 5-0.
    simple("SHT", 0154000, 0174600, Form::shift, 0000100),
    simple("SHD", 0154200, 0174600, Form::shift, 0000100),
    simple("SHA", 0154400, 0174600, Form::shift, 0000100),
    simple("SAD", 0154600, 0174600, Form::shift, 0000100),
    // Input and output.
    with_byte("IOTMON", 0161000, 0377),
    simple("IOT", 0160000, 0174000, Form::io_transfer),
    with_byte("IOX", 0164000, 0377),
    // Argument instructions.
    simple("SAB", 0170000, 0177400, Form::argument),
    simple("SAA", 0170400, 0177400, Form::argument),
    simple("SAT", 0171000, 0177400, Form::argument),
    simple("SAX", 0171400, 0177400, Form::argument),
    simple("AAB", 0172000, 0177400, Form::argument),
    simple("AAA", 0172400, 0177400, Form::argument),
    simple("AAT", 0173000, 0177400, Form::argument),
    simple("AAX", 0173400, 0177400, Form::argument),
    // Bit instructions: operation in bits 10-7, bit in 6-3, register in 2-0.
    simple("BSET", 0174000, 0177000, Form::bit_op),
    simple("BSKP", 0175000, 0177000, Form::bit_op),
    simple("BSTC", 0176000, 0177600, Form::bit_op),
    simple("BSTA", 0176200, 0177600, Form::bit_op),
    simple("BLDC", 0176400, 0177600, Form::bit_op),
    simple("BLDA", 0176600, 0177600, Form::bit_op),
    simple("BANC", 0177000, 0177600, Form::bit_op),
    simple("BAND", 0177200, 0177600, Form::bit_op),
    simple("BORC", 0177400, 0177600, Form::bit_op),
    simple("BORA", 0177600, 0177600, Form::bit_op),
};

bool upper_equal(std::string_view a, const char *b) {
    return a == std::string_view(b);
}

template <size_t N> bool in_keywords(std::string_view name, const Keyword (&list)[N]) {
    for (const Keyword &k : list)
        if (upper_equal(name, k.name)) return true;
    return false;
}

} // namespace

const InstructionForm *instruction_table_begin() {
    return std::begin(table);
}
const InstructionForm *instruction_table_end() {
    return std::end(table);
}

const InstructionForm *decode_instruction(uint16_t word) {
    if ((word & 0177400) == 0147400) return nullptr;
    for (const InstructionForm &f : table) {
        if (f.alias) continue;
        if ((word & f.fixed_mask) == f.base) return &f;
    }
    return nullptr;
}

const InstructionForm *find_instruction(std::string_view mnemonic) {
    for (const InstructionForm &f : table)
        if (upper_equal(mnemonic, f.mnemonic)) return &f;
    return nullptr;
}

bool is_reserved_word(std::string_view name) {
    static constexpr const char *others[] = {"I",   "X",   "B",   "IF",  "SHR", "SNI",  "EXTRA",
                                             "CM1", "CLD", "AD1", "ADC", "STS", "PGST", "PVL",
                                             "IIC", "PID", "PIE", "PCR", "IIE"};
    for (const char *o : others)
        if (upper_equal(name, o)) return true;
    return in_keywords(name, destination_registers) || in_keywords(name, source_registers) ||
           in_keywords(name, skip_conditions) || in_keywords(name, shift_modes) ||
           in_keywords(name, bit_suboperations) || in_keywords(name, status_bits) ||
           in_keywords(name, iot_functions) || find_instruction(name) != nullptr;
}

} // namespace ndtools

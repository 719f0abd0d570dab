// Interrupt levels, privileged control words, IOT, terminal IOX and IOTMON.
#include "console/terminal.h"
#include "cpu/levels_io.h"
#include "host/host.h"
#include "instruction_test_support.h"
#include "monitor/monitor.h"

#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr uint32_t TRA = 0150000, TRR = 0150100, MCL = 0150200, MST = 0150300;
constexpr uint32_t REG_STS = 0, REG_PCR = 3, REG_PGST = 3, REG_PVL = 4, REG_IIC = 5, REG_PID = 6,
                   REG_PIE = 7;
constexpr uint32_t WAIT = 0151000;
constexpr uint32_t IOX = 0164000;
constexpr uint32_t IOTMON = 0161000;

uint32_t irw(uint32_t level, uint32_t reg) {
    return 0153400 | (level << 3) | reg;
}
uint32_t irr(uint32_t level, uint32_t reg) {
    return 0153600 | (level << 3) | reg;
}

class Levels : public InstructionTest {
  protected:
    void SetUp() override {
        InstructionTest::SetUp();
        reset_breakpoint_service();
    }
    void TearDown() override {
        reset_debug_state(); // puts back the debugging aids' breakpoint check
        reset_breakpoint_service();
        InstructionTest::TearDown();
    }

    // Puts the CPU on `level` directly, as the operator's set-active-level does.
    static void put_on_level(uint32_t level) {
        machine.current_level = level;
        machine.STS = (machine.STS & ~07400u) | (level << 8);
    }

    static uint32_t sts_level() { return (machine.STS >> 8) & 017; }
};

// ---- level changes: MST, MCL, WAIT ----

TEST_F(Levels, MstPidAboveCurrentLevelSwitchesAndSavesRegisters) {
    RegisterBlock &five = machine.level_blocks[5];
    five.r[R_A] = 0505;
    five.r[R_X] = 0507;
    five.r[R_P] = 03000;
    five.r[R_STS] = STS_C | STS_K;
    machine.PIE = 0177777;
    machine.A = 1u << 5;
    machine.D = 0111;
    machine.L = 0444;
    machine.STS |= STS_Q;
    execute(MST | REG_PID);

    EXPECT_EQ(machine.current_level, 5u);
    EXPECT_EQ(machine.previous_level, 0u);
    EXPECT_EQ(sts_level(), 5u);
    EXPECT_EQ(machine.level_changed, 1u);
    EXPECT_EQ(machine.P, 03000u);
    EXPECT_EQ(machine.A, 0505u);
    EXPECT_EQ(machine.X, 0507u);
    EXPECT_TRUE(sts(STS_C) && sts(STS_K) && sts(STS_FIXED) && sts(INTERRUPT_ON));
    EXPECT_FALSE(sts(STS_Q)) << "the new level's own flags";

    const RegisterBlock &zero = machine.level_blocks[0];
    EXPECT_EQ(zero.r[R_P], 01001u) << "level 0 resumes after the MST";
    EXPECT_EQ(zero.r[R_A], 1u << 5);
    EXPECT_EQ(zero.r[R_D], 0111u);
    EXPECT_EQ(zero.r[R_L], 0444u);
    EXPECT_TRUE(zero.r[R_STS] & STS_Q);
}

TEST_F(Levels, MstPidWithInterruptSystemOffOnlySetsBits) {
    machine.interrupt_on = 0;
    machine.PIE = 0177777;
    machine.A = 1u << 7;
    execute(MST | REG_PID);
    EXPECT_EQ(machine.PID, 1u | (1u << 7));
    EXPECT_EQ(machine.current_level, 0u);
    EXPECT_EQ(machine.P, 01001u);
}

TEST_F(Levels, MstPieEnablingAPendingLevelSwitchesToIt) {
    machine.PID = 1u | (1u << 3);
    machine.level_blocks[3].r[R_P] = 04000;
    machine.A = 1u << 3;
    execute(MST | REG_PIE);
    EXPECT_EQ(machine.current_level, 3u);
    EXPECT_EQ(machine.P, 04000u);
}

TEST_F(Levels, MstPidCanSwitchToALowerLevel) {
    put_on_level(6);
    machine.PIE = 1u << 2;
    machine.PID = 0;
    machine.level_blocks[2].r[R_P] = 02222;
    machine.A = 1u << 2;
    execute(MST | REG_PID);
    EXPECT_EQ(machine.current_level, 2u);
    EXPECT_EQ(machine.previous_level, 6u);
    EXPECT_EQ(machine.level_blocks[6].r[R_P], 01001u);
}

TEST_F(Levels, MstAndMclOfStsWorkOnTheSavedCopy) {
    machine.level_blocks[0].r[R_STS] = 0;
    machine.A = STS_C | STS_O;
    execute(MST | REG_STS);
    EXPECT_EQ(machine.level_blocks[0].r[R_STS], STS_C | STS_O);
    EXPECT_FALSE(sts(STS_C)) << "the live STS is not touched";
    machine.A = STS_O;
    execute(MCL | REG_STS);
    EXPECT_EQ(machine.level_blocks[0].r[R_STS], STS_C);
    EXPECT_EQ(machine.P, 01002u);
}

TEST_F(Levels, MclClearsPidAndPieWithoutChangingLevel) {
    machine.PID = 0177;
    machine.PIE = 0177;
    machine.A = 0140;
    execute(MCL | REG_PID);
    execute(MCL | REG_PIE);
    EXPECT_EQ(machine.PID, 037u);
    EXPECT_EQ(machine.PIE, 037u);
    EXPECT_EQ(machine.current_level, 0u);
}

TEST_F(Levels, WaitChangesToTheHighestPendingLevelOrToLevelZero) {
    put_on_level(3);
    machine.PIE = 0177777;
    machine.PID = (1u << 3) | (1u << 1);
    machine.level_blocks[1].r[R_P] = 01111;
    execute(WAIT);
    EXPECT_EQ(machine.current_level, 1u);
    EXPECT_EQ(machine.PID, 1u << 1) << "the waiting level's request is cleared";
    EXPECT_EQ(machine.level_blocks[3].r[R_P], 01001u);
    EXPECT_EQ(machine.P, 01111u);

    put_on_level(3);
    machine.P = 01000;
    machine.PID = 1u << 3;
    machine.level_blocks[0].r[R_P] = 00123;
    execute(WAIT);
    EXPECT_EQ(machine.current_level, 0u);
    EXPECT_EQ(machine.P, 00123u);
    EXPECT_EQ(machine.previous_level, 3u);
}

TEST_F(Levels, WaitOnLevelZeroOrWithInterruptsOffContinues) {
    execute(WAIT);
    EXPECT_EQ(machine.P, 01001u);
    EXPECT_EQ(machine.PID, 0u) << "level 0's request is cleared";

    put_on_level(4);
    machine.interrupt_on = 0;
    machine.PID = 1u << 4;
    execute(WAIT);
    EXPECT_EQ(machine.P, 01002u);
    EXPECT_EQ(machine.current_level, 4u);
    EXPECT_EQ(machine.PID, 1u << 4);
}

TEST_F(Levels, WaitAsksThePlantedBreakpointFirst) {
    static int asked = 0;
    asked = 0;
    wait_breakpoint_check = [] {
        ++asked;
        cpu_running = 0;
        return true;
    };
    put_on_level(3);
    execute(WAIT);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(machine.P, 01000u) << "the breakpoint stops on the WAIT itself";
    EXPECT_EQ(machine.current_level, 3u);
    EXPECT_EQ(cpu_running, 0);

    wait_breakpoint_check = [] { return false; };
    cpu_running = 1;
    execute(WAIT);
    EXPECT_EQ(machine.current_level, 0u) << "not the breakpoint: an ordinary WAIT";
}

TEST_F(Levels, WaitAtThePlantedBreakpointStopsThere) {
    reset_debug_state();
    put_on_level(3);
    execute(WAIT);
    EXPECT_EQ(machine.current_level, 0u) << "no breakpoint planted: an ordinary WAIT";

    put_on_level(3);
    cpu_running = 1;
    machine.P = 02000;
    debug_state.breakpoint_set = 1;
    debug_state.breakpoint_address = 02000;
    execute(WAIT);
    EXPECT_EQ(cpu_running, 0);
    EXPECT_EQ(machine.P, 02000u);
    EXPECT_EQ(machine.current_level, 3u);
}

// ---- TRA, TRR ----

TEST_F(Levels, TraPvlNamesAnIrrOfThePreviousLevelsP) {
    put_on_level(5);
    change_level(2);
    execute(TRA | REG_PVL);
    EXPECT_EQ(machine.A, 0153652u);
}

TEST_F(Levels, TraIicReturnsTheCodeOnce) {
    machine.A = 0127;
    execute(MST | REG_IIC);
    execute(TRA | REG_IIC);
    EXPECT_EQ(machine.A, 07u);
    execute(TRA | REG_IIC);
    EXPECT_EQ(machine.A, 0u);
}

TEST_F(Levels, TraReadsInternalRegistersAndLeavesAForOthers) {
    machine.PID = 0321;
    machine.PIE = 0654;
    machine.PGST = 1;
    execute(TRA | REG_PID);
    EXPECT_EQ(machine.A, 0321u);
    execute(TRA | REG_PIE);
    EXPECT_EQ(machine.A, 0654u);
    execute(TRA | REG_PGST);
    EXPECT_EQ(machine.A, 1u);
    execute(TRA | REG_STS);
    EXPECT_EQ(machine.A, machine.STS);
    machine.A = 04711;
    for (uint32_t reg : {1u, 2u, 010u, 017u})
        execute(TRA | reg);
    EXPECT_EQ(machine.A, 04711u);
    EXPECT_EQ(machine.P, 01010u);
}

TEST_F(Levels, TrrStsKeepsLevelAndInterruptState) {
    put_on_level(2);
    machine.A = 0177777 & ~INTERRUPT_ON;
    execute(TRR | REG_STS);
    EXPECT_EQ(sts_level(), 2u) << "the level field stays the current level";
    EXPECT_TRUE(sts(INTERRUPT_ON));
    EXPECT_TRUE(sts(STS_EXTENDED));
    EXPECT_EQ(machine.STS & 0377, 0377u);
}

TEST_F(Levels, TrrPcrSetsTheNamedLevelsPageControl) {
    // Level 4, PT field 2, APT field 3, ring 1.
    machine.A = (2u << 9) | (3u << 7) | (4u << 3) | 1u;
    execute(TRR | REG_PCR);
    EXPECT_EQ(machine.pcr[4], 2u * 01000 + 3u * 0200 + 1u);
    EXPECT_EQ(machine.current_pcr, 0u) << "level 4 is not the current level";
    machine.A = (1u << 9) | (0u << 3);
    execute(TRR | REG_PCR);
    EXPECT_EQ(machine.current_pcr, 01000u);
}

TEST_F(Levels, TrrPidAndPieNeverChangeLevel) {
    machine.A = 0100000;
    execute(TRR | REG_PID);
    execute(TRR | REG_PIE);
    EXPECT_EQ(machine.PID, 0100000u);
    EXPECT_EQ(machine.PIE, 0100000u);
    EXPECT_EQ(machine.current_level, 0u);
    machine.A = 0555;
    execute(TRR | 5);
    EXPECT_EQ(machine.IIE, 0555u);
}

TEST_F(Levels, PrivilegedDiagnosticsOnlyAtTheirDebugLevel) {
    capture_output();
    execute(TRA | REG_PID);
    EXPECT_EQ(captured_output(), "");
    settings.debug_level = 0444;
    machine.P = 01000;
    capture_output();
    execute(TRA | REG_PID);
    EXPECT_EQ(captured_output(),
              "\nPrivileged instruction TRA 150006 @ 1000, reg=6\n -AREG set to PID, value 1");
}

// ---- IRW, IRR ----

TEST_F(Levels, IrwOnTheCurrentLevelChangesOnlyTheSavedCopy) {
    machine.A = 04321;
    machine.X = 0;
    execute(irw(0, R_X));
    EXPECT_EQ(machine.X, 0u);
    EXPECT_EQ(machine.level_blocks[0].r[R_X], 04321u);
    machine.A = 0;
    execute(irr(0, R_X));
    EXPECT_EQ(machine.A, 04321u);
}

TEST_F(Levels, IrwOfStsReplacesOnlyTheLowByteAndIrrReadsIt) {
    machine.level_blocks[7].r[R_STS] = 0012345;
    machine.A = 0177701;
    execute(irw(7, R_STS));
    EXPECT_EQ(machine.level_blocks[7].r[R_STS], 0012301u);
    machine.A = 0;
    execute(irr(7, R_STS));
    EXPECT_EQ(machine.A, 0301u);
    EXPECT_EQ(machine.level_blocks[0].r[R_A], 0301u) << "also stored as A of the current level";
}

TEST_F(Levels, IrrReadsAnotherLevelsRegisters) {
    machine.level_blocks[12].r[R_P] = 07070;
    execute(irr(12, R_P));
    EXPECT_EQ(machine.A, 07070u);
    EXPECT_EQ(machine.P, 01001u);
}

// ---- privileged control words ----

TEST_F(Levels, OpcomStopsOnItself) {
    capture_output();
    execute(0150400);
    EXPECT_EQ(captured_output(), "\nPrivileged instruction OPCOM @ 1000");
    EXPECT_EQ(cpu_running, 0);
    EXPECT_EQ(machine.P, 01000u);
}

TEST_F(Levels, InterruptAndPagingSwitches) {
    capture_output();
    execute(0150401); // IOF
    EXPECT_EQ(machine.interrupt_on, 0u);
    EXPECT_FALSE(sts(INTERRUPT_ON));
    execute(0150402); // ION
    EXPECT_EQ(machine.interrupt_on, INTERRUPT_ON);
    EXPECT_TRUE(sts(INTERRUPT_ON));
    execute(0150410); // PON
    EXPECT_EQ(machine.PGST, 1u);
    execute(0150405); // PIOF
    EXPECT_EQ(machine.PGST, 0u);
    EXPECT_EQ(machine.interrupt_on, 0u);
    execute(0150412); // PION
    EXPECT_EQ(machine.PGST, 1u);
    EXPECT_EQ(machine.interrupt_on, INTERRUPT_ON);
    execute(0150404); // POF
    EXPECT_EQ(machine.PGST, 0u);
    execute(0150406); // SEX
    EXPECT_TRUE(sts(STS_EXTENDED));
    execute(0150407); // REX
    EXPECT_FALSE(sts(STS_EXTENDED));
    execute(0150415); // IOXT
    execute(0150416); // EXAM
    execute(0150417); // DEPO
    EXPECT_EQ(captured_output(), "\nPrivileged instruction IOF @ 1000"
                                 "\nPrivileged instruction REX @ 1007"
                                 "\nIOXT instruction, ignore and continue\n"
                                 "\nPrivileged instruction EXAM @ 1011"
                                 "\nPrivileged instruction DEPO @ 1012");
    EXPECT_EQ(machine.P, 01013u);
    EXPECT_EQ(cpu_running, 1);
}

TEST_F(Levels, UndefinedControlWordStopsPastItself) {
    capture_output();
    execute(0150403);
    EXPECT_EQ(captured_output(), "Illegal instruction @ 1000 : 150403");
    EXPECT_EQ(cpu_running, 0);
    EXPECT_EQ(machine.P, 01001u);
}

// ---- IOT, IOX ----

TEST_F(Levels, IotNamesItsFunctionAndSkipsForSniAndSka) {
    capture_output();
    execute(0160012);
    EXPECT_EQ(machine.P, 01002u);
    execute(0160412);
    EXPECT_EQ(machine.P, 01003u);
    execute(0163777);
    EXPECT_EQ(machine.P, 01005u);
    EXPECT_EQ(captured_output(),
              "\nIOT SNI dev 12 @ 1000\nIOT ACT dev 12 @ 1002\nIOT ACT SKA PIN dev 377 @ 1003");
}

TEST_F(Levels, IoxTerminalRegisters) {
    host_unread_byte('k');
    execute(IOX | 0302);
    EXPECT_EQ(machine.A, 010u) << "a key is waiting";
    execute(IOX | 0300);
    EXPECT_EQ(machine.A, static_cast<uint32_t>('k'));
    EXPECT_EQ(terminal.last_typed_byte, 'k');
    machine.A = 0777;
    execute(IOX | 0304);
    EXPECT_EQ(machine.A, 0u);
    execute(IOX | 0306);
    EXPECT_EQ(machine.A, 010u);
    execute(IOX | 0301);
    execute(IOX | 0303);
    execute(IOX | 0307);
    EXPECT_EQ(machine.A, 010u);
    capture_output();
    machine.A = 0301; // 'A' with bit 7 set
    execute(IOX | 0305);
    EXPECT_EQ(captured_output(), "A");
    EXPECT_EQ(machine.P, 01010u);
    EXPECT_EQ(cpu_running, 1);
}

TEST_F(Levels, IoxVerticalBarStopsTheProgram) {
    host_unread_byte(0174);
    execute(IOX | 0300);
    EXPECT_EQ(machine.A, 0174u);
    EXPECT_EQ(cpu_running, 0);
}

// IOX 300 with the virtual keyboard on, keys typed on a pseudo-terminal (an
// Alt key arrives there as ESC and the key).
class IoxVirtualKeyboard : public Levels {
  protected:
    void SetUp() override {
        Levels::SetUp();
        ASSERT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
        termios mode{};
        tcgetattr(slave_, &mode);
        cfmakeraw(&mode);
        tcsetattr(slave_, TCSANOW, &mode);
        saved_stdin_ = dup(STDIN_FILENO);
        dup2(slave_, STDIN_FILENO);
        host_terminal_init();
        reset_terminal_state();
        settings.use_virtual_keyboard = 1;
    }
    void TearDown() override {
        while (host_input_waiting(0))
            host_read_byte(0);
        dup2(saved_stdin_, STDIN_FILENO);
        close(saved_stdin_);
        close(slave_);
        close(master_);
        reset_terminal_state();
        Levels::TearDown();
    }
    void type(const std::string &bytes) {
        ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    int master_ = -1, slave_ = -1, saved_stdin_ = -1;
};

TEST_F(IoxVirtualKeyboard, AltKeyGivesItsOwnFirstByte) {
    VirtualKey &key = terminal.virtual_key_table['A'];
    key.bytes[0] = 'H';
    key.bytes[1] = 'I';
    key.count = 2;
    // Bytes an earlier terminal call left in the ring.
    inbyte_put('z');
    inbyte_put('y');
    type("\x1b"
         "A");
    execute(IOX | 0300);
    EXPECT_EQ(machine.A, static_cast<uint32_t>('H'));
    EXPECT_EQ(terminal.nbuff, 0) << "the rest of the definition is dropped";
    EXPECT_EQ(machine.P, 01001u);
}

TEST_F(IoxVirtualKeyboard, AltKeyWithoutDefinitionArrivesAsTyped) {
    type("\x1b"
         "q"
         "w");
    execute(IOX | 0300);
    EXPECT_EQ(machine.A, static_cast<uint32_t>('q')) << "the key is not lost";
    EXPECT_EQ(machine.P, 01001u);
    execute(IOX | 0300);
    EXPECT_EQ(machine.A, static_cast<uint32_t>('w'));
    EXPECT_EQ(cpu_running, 1);
}

TEST_F(Levels, IoxOtherDeviceRegisterIsIllegal) {
    capture_output();
    execute(IOX | 0310);
    std::string output = captured_output();
    EXPECT_NE(output.find("Illegal instruction"), std::string::npos) << output;
    EXPECT_EQ(cpu_running, 0);
}

// ---- IOTMON ----

TEST_F(Levels, IotmonBreakpointServiceEntersAndLeavesTheHandler) {
    capture_output();
    execute(IOTMON | 046);
    EXPECT_EQ(captured_output(), "\nBreakpoint (MON 46) not defined at 1000, continue execution\n");
    EXPECT_EQ(machine.P, 01001u);

    machine.X = 05000; // handler
    machine.T = 06000; // save block
    machine.A = 0777;
    execute(IOTMON | 045);
    EXPECT_EQ(machine.A, 0u);
    EXPECT_EQ(machine.P, 01003u);

    machine.A = 0101;
    machine.D = 0102;
    machine.T = 0103;
    machine.X = 0104;
    machine.B = 0105;
    machine.L = 0106;
    machine.STS |= STS_C;
    const uint32_t sts_at_entry = machine.STS;
    execute(IOTMON | 046);
    EXPECT_EQ(machine.P, 05000u);
    const uint32_t expected[8] = {01003, 0104, 0103, 0101, 0102, 0106, sts_at_entry, 0105};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(read_word(0, 06000 + i), expected[i]) << "save block word " << i;

    machine.A = machine.D = machine.T = machine.X = machine.B = machine.L = 0;
    machine.STS &= ~STS_C;
    execute(IOTMON | 047);
    EXPECT_EQ(machine.P, 01003u) << "back on the IOTMON 46 that entered the handler";
    EXPECT_EQ(machine.A, 0101u);
    EXPECT_EQ(machine.D, 0102u);
    EXPECT_EQ(machine.T, 0103u);
    EXPECT_EQ(machine.X, 0104u);
    EXPECT_EQ(machine.B, 0105u);
    EXPECT_EQ(machine.L, 0106u);
    EXPECT_EQ(machine.STS, sts_at_entry);
}

TEST_F(Levels, IotmonBreakpointDiagnosticsAtLevel144) {
    settings.debug_level = 0144;
    machine.X = 05000;
    machine.T = 06000;
    machine.A = 0;
    capture_output();
    execute(IOTMON | 045);
    EXPECT_EQ(captured_output(), "\nDefine BP(45) called at 1000, A=0 X=5000 T=6000\n"
                                 "Setting handler address to: 5000, reg.block: 6000");
}

TEST_F(Levels, IotmonUnsupportedCodeMovesOn) {
    capture_output();
    execute(IOTMON | 0377);
    EXPECT_EQ(captured_output(), "\nUnsupported IOTMON code 377 at 1000\n");
    EXPECT_EQ(machine.P, 01001u);
    EXPECT_EQ(cpu_running, 1);
}

TEST_F(Levels, IotmonCloseSubFunctions) {
    machine.T = 1;
    execute(IOTMON | 043);
    EXPECT_EQ(machine.P, 01002u);
    machine.T = 5;
    execute(IOTMON | 043);
    EXPECT_EQ(machine.A, 0132u);
    EXPECT_EQ(machine.P, 01003u);
}

// The codes that are monitor calls reach the same handler as MON.
TEST_F(Levels, IotmonReachesTheMonitorCallHandlers) {
    static uint32_t called = 0;
    MonitorHandler saved[256];
    for (int i = 0; i < 256; ++i)
        saved[i] = monitor_table[i];
    for (uint32_t code : {03u, 04u, 05u, 06u, 07u, 015u, 020u, 042u, 043u, 064u, 065u})
        monitor_table[code] = [] {
            called = machine.current_instruction;
            mon_skip_return();
        };
    for (uint32_t code : {03u, 04u, 05u, 06u, 07u, 015u, 020u, 042u, 064u, 065u}) {
        called = 0;
        machine.P = 01000;
        execute(IOTMON | code);
        EXPECT_EQ(called, IOTMON | code);
        EXPECT_EQ(machine.P, 01002u) << "the call's own return, code " << code;
    }
    for (uint32_t t : {0177777u, 0100u, 0110u}) {
        called = 0;
        machine.T = t;
        execute(IOTMON | 043);
        EXPECT_EQ(called, IOTMON | 043) << "T=" << t;
    }
    for (int i = 0; i < 256; ++i)
        monitor_table[i] = saved[i];
}

TEST_F(Levels, IotmonTraceLineWithMonitorCallTrace) {
    debug_state.trace_flags = TRACE_MONITOR_CALLS;
    machine.A = 1;
    machine.T = 2;
    machine.X = 3;
    machine.D = 4;
    capture_output();
    execute(IOTMON | 0200);
    debug_state.trace_flags = 0;
    EXPECT_EQ(captured_output(), "\nIOTMON  200 at    1000, A=      1 T=      2 X=      3 D=      4"
                                 "\nUnsupported IOTMON code 200 at 1000\n");
}

} // namespace

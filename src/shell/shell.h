// The operator shell: the run driver, the ^C handler, the start-up wiring,
// start-up and the command loop.
#pragma once

// The run driver: starts the loaded program at its start address as typing
// its name does, and reports the run when it stops.
void run_loaded_program();
// ! and @recover: loads an image and starts it with the rest of the line as
// its command line.
void start_prog_image();

// The ^C handler: stops a running program and records the ^C for the line
// reader and the cycle to report.
void on_interrupt(int signal_number);

// Fills the instruction table (the CPU's instructions, the MON dispatcher, the
// trace hook) and every hook and table by which a lower layer reaches a higher
// one: the debugging aids, IOTMON's monitor calls, the files a program leaves
// open, and the SINTRAN commands the shell's handlers carry out.
void install_instruction_set();

// Start-up and the command loop; returns the process exit status.
int shell_main(int argc, char **argv);
// Closes what is open at the end of KESTREL and returns the exit status:
// 128 + n after signal n (SIGTERM, SIGHUP); for a one-program run 2 when the
// program could not be loaded and 1 when it stopped other than at MON 0;
// 1 when output could not be written to standard output; 0 otherwise.
int end_kestrel();
// SIGTERM, SIGHUP and the end of standard output stop a running program.
void on_end_request();
void run_command_loop();
// Executes one shell line as the command loop does.
void execute_command_line(const char *line);

// Reservations of ND files between KESTREL instances that work in one ND
// tree. A file opened for writing, appending or random-access writing is held
// exclusively; a file opened for reading is shared. An instance holds one
// host lock per file, however many of its own opens and commands use the
// file, so that within one instance files are shared as they always were.
// The locks are open-file-description locks on the files themselves: the
// kernel releases them when the file is closed or the instance ends, however
// it ends, and nothing of the mechanism appears in the user directories.
#pragma once

#include "host/host.h"

#include <string>

enum class ReservationKind { Shared, Exclusive };

// Results of reserve_file besides a reservation number (0 or more).
constexpr int RESERVATION_HELD_ELSEWHERE = -1; // another instance holds the file
constexpr int RESERVATION_FAILED = -2;         // a host error; errno says which

constexpr int RESERVATION_ENTRIES = 32;

struct ReservationEntry {
    HostLockHandle handle;
    int shared_users;
    int exclusive_users;
};

struct ReservationTable {
    ReservationEntry entries[RESERVATION_ENTRIES];
    // The reservations that shell and SINTRAN commands hold until they end,
    // innermost last.
    int command_reservations[RESERVATION_ENTRIES];
    ReservationKind command_kinds[RESERVATION_ENTRIES];
    int command_count;
};

extern ReservationTable reservation_table;

// Releases every reservation this instance holds.
void reset_reservations();
// Reserves the regular file at path for this instance. Returns the
// reservation number, RESERVATION_HELD_ELSEWHERE, or RESERVATION_FAILED.
int reserve_file(const std::string &path, ReservationKind kind);
void release_reservation(int reservation, ReservationKind kind);
// True when another KESTREL instance has the host file at path open (for
// reading or writing): what a command must not delete, rename, replace or
// write. False when there is no such regular file.
bool file_held_by_another_instance(const std::string &path);

// Commands: a reservation taken with reserve_for_command lasts until the
// command that took it ends. A command run begins by taking the mark and
// ends by releasing down to it, so that a SINTRAN command carried out
// inside a program run leaves the reservations of the command around it.
int command_reservation_mark();
void release_command_reservations(int mark);
// Reserves for the command under way. Returns as reserve_file; with a
// negative result the command must change nothing.
int reserve_for_command(const std::string &path, ReservationKind kind);

#include "filesystem/reservations.h"

#include <cerrno>

ReservationTable reservation_table;

static void free_reservation(ReservationEntry &entry) {
    host_close_lock_handle(&entry.handle);
    entry.shared_users = 0;
    entry.exclusive_users = 0;
}

void reset_reservations() {
    for (auto &entry : reservation_table.entries)
        free_reservation(entry);
    reservation_table.command_count = 0;
}

static bool in_use(const ReservationEntry &entry) {
    return entry.handle.descriptor >= 0;
}

static int find_reservation(const HostLockHandle &handle) {
    for (int i = 0; i < RESERVATION_ENTRIES; ++i) {
        const HostLockHandle &held = reservation_table.entries[i].handle;
        if (in_use(reservation_table.entries[i]) && held.device == handle.device &&
            held.inode == handle.inode)
            return i;
    }
    return -1;
}

static int refused_lock_result() {
    return errno == EAGAIN || errno == EACCES ? RESERVATION_HELD_ELSEWHERE : RESERVATION_FAILED;
}

int reserve_file(const std::string &path, ReservationKind kind) {
    HostLockHandle handle;
    if (!host_open_lock_handle(path, &handle)) return RESERVATION_FAILED;
    bool exclusive = kind == ReservationKind::Exclusive;
    int held = find_reservation(handle);
    if (held >= 0) {
        // The file is this instance's already: one lock serves every use,
        // made exclusive when the first writer comes.
        host_close_lock_handle(&handle);
        ReservationEntry &entry = reservation_table.entries[held];
        if (exclusive && entry.exclusive_users == 0 &&
            !host_set_lock(entry.handle, HostLockLevel::Exclusive))
            return refused_lock_result();
        ++(exclusive ? entry.exclusive_users : entry.shared_users);
        return held;
    }
    int free_slot = 0;
    while (free_slot < RESERVATION_ENTRIES && in_use(reservation_table.entries[free_slot]))
        ++free_slot;
    if (free_slot == RESERVATION_ENTRIES) {
        host_close_lock_handle(&handle);
        errno = EMFILE;
        return RESERVATION_FAILED;
    }
    if (!host_set_lock(handle, exclusive ? HostLockLevel::Exclusive : HostLockLevel::Shared)) {
        int result = refused_lock_result();
        int error = errno;
        host_close_lock_handle(&handle);
        errno = error;
        return result;
    }
    ReservationEntry &entry = reservation_table.entries[free_slot];
    entry.handle = handle;
    entry.shared_users = exclusive ? 0 : 1;
    entry.exclusive_users = exclusive ? 1 : 0;
    return free_slot;
}

void release_reservation(int reservation, ReservationKind kind) {
    if (reservation < 0 || reservation >= RESERVATION_ENTRIES) return;
    ReservationEntry &entry = reservation_table.entries[reservation];
    if (!in_use(entry)) return;
    int &users = kind == ReservationKind::Exclusive ? entry.exclusive_users : entry.shared_users;
    if (users > 0) --users;
    if (entry.exclusive_users == 0 && entry.shared_users == 0) {
        free_reservation(entry);
        return;
    }
    // The last writer gone, the readers left keep the file shared.
    if (kind == ReservationKind::Exclusive && entry.exclusive_users == 0)
        host_set_lock(entry.handle, HostLockLevel::Shared);
}

bool file_held_by_another_instance(const std::string &path) {
    HostLockHandle handle;
    if (!host_open_lock_handle(path, &handle)) return false;
    // This instance's own lock is no other instance's: ask through the
    // handle that holds it.
    int held = find_reservation(handle);
    bool locked =
        host_locked_by_other_handle(held >= 0 ? reservation_table.entries[held].handle : handle);
    host_close_lock_handle(&handle);
    return locked;
}

int command_reservation_mark() {
    return reservation_table.command_count;
}

void release_command_reservations(int mark) {
    while (reservation_table.command_count > mark && reservation_table.command_count > 0) {
        int last = --reservation_table.command_count;
        release_reservation(reservation_table.command_reservations[last],
                            reservation_table.command_kinds[last]);
    }
}

int reserve_for_command(const std::string &path, ReservationKind kind) {
    if (reservation_table.command_count == RESERVATION_ENTRIES) {
        errno = EMFILE;
        return RESERVATION_FAILED;
    }
    int reservation = reserve_file(path, kind);
    if (reservation < 0) return reservation;
    int at = reservation_table.command_count++;
    reservation_table.command_reservations[at] = reservation;
    reservation_table.command_kinds[at] = kind;
    return reservation;
}

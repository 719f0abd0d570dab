// The OpenFileTable: the scratch-file claim, lookup, closing one file or all
// of them, and the listing.
#include "filesystem_test_support.h"

namespace {

class OpenFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int i = 1; i <= 8; ++i)
            tree_.write("(SCRATCH)/SCRATCH0" + std::to_string(i) + ".DATA",
                        std::string(1024, static_cast<char>('0' + i)));
        start_file_system();
    }
    void TearDown() override { close_all_files(CLOSE_EVERYTHING); }

    // Fills the first free entry as an open call does; returns its number.
    int32_t open_entry(const std::string &relative, uint32_t access_code, uint32_t maximum) {
        int position = find_open_file(-1);
        for (int i = 0; i < OPEN_FILE_ENTRIES && position < 0; ++i)
            if (open_file_table.entries[i].file_number < 0) position = i;
        EXPECT_GE(position, 0);
        OpenFileEntry &entry = open_file_table.entries[position];
        entry.host_path = "./" + relative;
        entry.stream = std::fopen(entry.host_path.c_str(), "rb+");
        EXPECT_NE(entry.stream, nullptr) << relative;
        entry.file_number = FIRST_FILE_NUMBER + position;
        entry.access_code = access_code;
        entry.maximum_size = maximum;
        ++open_file_table.open_count;
        return entry.file_number;
    }
    TemporaryNdTree tree_;
    CapturedOutput output_;
};

TEST_F(OpenFiles, TheFirstClaimTakesScratchOneAndTheNextInstanceScratchTwo) {
    ASSERT_TRUE(claim_scratch_file());
    EXPECT_EQ(output_.take(), "Opening scratch file for random access "
                              "was successful: ./(SCRATCH)/SCRATCH01.DATA\r\n");
    const OpenFileEntry &entry = open_file_table.entries[0];
    EXPECT_EQ(entry.file_number, 0100);
    EXPECT_EQ(entry.access_code, 2u);
    EXPECT_EQ(entry.block_size, 512);
    EXPECT_EQ(entry.block_buffer.size(), 512u);
    EXPECT_EQ(entry.byte_mask, 0177777u);
    EXPECT_EQ(entry.type, "DATA");
    EXPECT_EQ(entry.maximum_size, 1024u) << "closing must not shorten the scratch file";
    EXPECT_EQ(open_file_table.open_count, 1);
    EXPECT_TRUE(tree_.exists("(SCRATCH)/.SCRATCH01.lock"));
    scan_user_files("SCRATCH", 1);
    EXPECT_EQ(user_file_list.count, 8) << "lock files are not ND files";
    EXPECT_EQ(output_.take(), "");

    // The lock of the first claim is still held: another claim, as another
    // instance makes it, gets the second file.
    ASSERT_TRUE(claim_scratch_file());
    EXPECT_EQ(output_.take(), "Opening scratch file for random access "
                              "was successful: ./(SCRATCH)/SCRATCH02.DATA\r\n");
}

TEST_F(OpenFiles, ANinthClaimFindsEveryScratchFileInUse) {
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(claim_scratch_file()) << i;
    output_.take();
    EXPECT_FALSE(claim_scratch_file());
    EXPECT_EQ(output_.take(),
              "Opening scratch file for random access \r\nAll scratchfiles are in use!\r\n");
}

TEST_F(OpenFiles, AMissingScratchFileFailsButKeepsItsLock) {
    std::filesystem::remove("(SCRATCH)/SCRATCH01.DATA");
    EXPECT_TRUE(claim_scratch_file());
    EXPECT_EQ(output_.take(), "Opening scratch file for random access failed !!!\r\n");
    EXPECT_EQ(open_file_table.open_count, 0);
    EXPECT_EQ(find_open_file(0100), -1);
    ASSERT_TRUE(claim_scratch_file());
    EXPECT_NE(output_.take().find("SCRATCH02.DATA"), std::string::npos);
}

TEST_F(OpenFiles, LookupAndClosingByNumber) {
    ASSERT_TRUE(claim_scratch_file());
    tree_.write("(EMULATOR)/A.DATA", "a");
    int32_t number = open_entry("(EMULATOR)/A.DATA", 0, 0);
    EXPECT_EQ(number, 0101);
    EXPECT_EQ(find_open_file(0101), 1);
    EXPECT_EQ(find_open_file(0100), 0);
    EXPECT_EQ(find_open_file(-1), -1) << "free entries are not files";
    EXPECT_EQ(find_open_file(1), -1) << "the terminal has no entry";

    uint32_t error = 0;
    EXPECT_EQ(close_file(0102, &error), -1);
    EXPECT_EQ(error, 0132u);
    EXPECT_EQ(close_file(-1, &error), -1);
    EXPECT_EQ(open_file_table.open_count, 2) << "a failed close changes nothing";
    error = 0;
    EXPECT_EQ(close_file(0101, &error), 0);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(open_file_table.open_count, 1);
    EXPECT_EQ(find_open_file(0101), -1);
    EXPECT_EQ(open_file_table.entries[1].stream, nullptr);
    EXPECT_EQ(tree_.read("(EMULATOR)/A.DATA"), "a") << "sequential files keep their size";
}

TEST_F(OpenFiles, ClosingARandomAccessFileImposesItsMaximumSize) {
    tree_.write("(EMULATOR)/R.DATA", std::string(4096, 'r'));
    tree_.write("(EMULATOR)/GROWN.DATA", "g");
    tree_.write("(EMULATOR)/READ.DATA", std::string(4096, 'r'));
    int32_t shrunk = open_entry("(EMULATOR)/R.DATA", 2, 1000);
    int32_t grown = open_entry("(EMULATOR)/GROWN.DATA", 010, 3000);
    int32_t read_only = open_entry("(EMULATOR)/READ.DATA", 3, 10);
    uint32_t error = 0;
    EXPECT_EQ(close_file(shrunk, &error), 0);
    EXPECT_EQ(close_file(grown, &error), 0);
    EXPECT_EQ(close_file(read_only, &error), 0);
    EXPECT_EQ(std::filesystem::file_size("(EMULATOR)/R.DATA"), 1000u);
    EXPECT_EQ(tree_.read("(EMULATOR)/GROWN.DATA"), "g" + std::string(2999, '\0'));
    EXPECT_EQ(std::filesystem::file_size("(EMULATOR)/READ.DATA"), 4096u)
        << "access code 3 only reads";
}

TEST_F(OpenFiles, ClosingSizesTheOpenFileNotWhatNowHasItsName) {
    tree_.write("(EMULATOR)/R.DATA", std::string(4096, 'r'));
    int32_t number = open_entry("(EMULATOR)/R.DATA", 2, 1000);
    // Renamed behind the table's back, and a new file made under the old name.
    std::filesystem::rename("(EMULATOR)/R.DATA", "(EMULATOR)/MOVED.DATA");
    tree_.write("(EMULATOR)/R.DATA", std::string(50, 'n'));
    uint32_t error = 0;
    EXPECT_EQ(close_file(number, &error), 0);
    EXPECT_EQ(std::filesystem::file_size("(EMULATOR)/MOVED.DATA"), 1000u);
    EXPECT_EQ(tree_.read("(EMULATOR)/R.DATA"), std::string(50, 'n'));
}

TEST_F(OpenFiles, EighteenEntriesAndClosingAll) {
    ASSERT_TRUE(claim_scratch_file());
    for (int i = 1; i < OPEN_FILE_ENTRIES; ++i) {
        std::string name = "(EMULATOR)/F" + std::to_string(i) + ".DATA";
        tree_.write(name, "x");
        EXPECT_EQ(open_entry(name, 0, 0), 0100 + i);
    }
    EXPECT_EQ(open_file_table.open_count, 18);
    EXPECT_EQ(find_open_file(0121), 17);
    open_file_table.entries[0].block_size = 1024;

    close_all_files(0123);
    EXPECT_EQ(open_file_table.open_count, 18) << "other modes do nothing";
    close_all_files(CLOSE_KEEP_SCRATCH);
    EXPECT_EQ(open_file_table.open_count, 1);
    EXPECT_EQ(find_open_file(0100), 0);
    EXPECT_EQ(open_file_table.entries[0].block_size, 512) << "the scratch file's block size resets";
    EXPECT_EQ(std::filesystem::file_size("(SCRATCH)/SCRATCH01.DATA"), 1024u);
    close_all_files(CLOSE_EVERYTHING);
    EXPECT_EQ(open_file_table.open_count, 0);
    EXPECT_EQ(find_open_file(0100), -1);
    EXPECT_EQ(std::filesystem::file_size("(SCRATCH)/SCRATCH01.DATA"), 1024u);
}

TEST_F(OpenFiles, ListingShowsEveryOpenEntryInTableOrder) {
    ASSERT_TRUE(claim_scratch_file());
    tree_.write("(EMULATOR)/A.DATA", "a");
    open_entry("(EMULATOR)/A.DATA", 010, 1);
    open_file_table.entries[1].block_size = 2048;
    output_.take();
    list_open_files();
    EXPECT_EQ(output_.take(),
              "\r\n   100: ./(SCRATCH)/SCRATCH01.DATA Opened for access   2, block size 512 bytes"
              "\r\n   101: ./(EMULATOR)/A.DATA Opened for access   8, block size 2048 bytes\r\n");
    close_all_files(CLOSE_EVERYTHING);
    list_open_files();
    EXPECT_EQ(output_.take(), "\r\n");
}

// Another KESTREL instance is another lock handle on the file: handles of
// one process conflict just as those of two processes do.
TEST_F(OpenFiles, ReservationsShareReadersAndKeepWritersApart) {
    const std::string path = "./(EMULATOR)/SHARED.DATA";
    tree_.write("(EMULATOR)/SHARED.DATA", "shared");
    HostLockHandle other;
    ASSERT_TRUE(host_open_lock_handle(path, &other));
    ASSERT_TRUE(host_set_lock(other, HostLockLevel::Shared));

    int reader = reserve_file(path, ReservationKind::Shared);
    ASSERT_GE(reader, 0) << "readers share";
    EXPECT_EQ(reserve_file(path, ReservationKind::Exclusive), RESERVATION_HELD_ELSEWHERE);
    EXPECT_TRUE(file_held_by_another_instance(path));
    EXPECT_EQ(reserve_for_command(path, ReservationKind::Exclusive), RESERVATION_HELD_ELSEWHERE);

    // The other instance lets go: this one's writer joins its own reader,
    // and the other instance can then neither read nor write the file.
    ASSERT_TRUE(host_set_lock(other, HostLockLevel::None));
    EXPECT_FALSE(file_held_by_another_instance(path))
        << "this instance's own hold is not another's";
    int mark = command_reservation_mark();
    EXPECT_EQ(reserve_for_command(path, ReservationKind::Exclusive), reader);
    EXPECT_FALSE(host_set_lock(other, HostLockLevel::Shared));
    // The command ends: the reader left keeps the file shared.
    release_command_reservations(mark);
    EXPECT_TRUE(host_set_lock(other, HostLockLevel::Shared));
    EXPECT_FALSE(host_set_lock(other, HostLockLevel::Exclusive));
    release_reservation(reader, ReservationKind::Shared);
    EXPECT_TRUE(host_set_lock(other, HostLockLevel::Exclusive)) << "the last use released the file";
    EXPECT_EQ(reserve_file(path, ReservationKind::Shared), RESERVATION_HELD_ELSEWHERE)
        << "no reading beside another instance's writing";
    host_close_lock_handle(&other);

    // A link, a directory or a missing file is no ND file to hold.
    std::filesystem::create_symlink("SHARED.DATA", "(EMULATOR)/LINK.DATA");
    EXPECT_EQ(reserve_file("./(EMULATOR)/LINK.DATA", ReservationKind::Shared), RESERVATION_FAILED);
    EXPECT_EQ(reserve_file("./(EMULATOR)", ReservationKind::Shared), RESERVATION_FAILED);
    EXPECT_FALSE(file_held_by_another_instance("./(EMULATOR)/NONE.DATA"));
}

TEST_F(OpenFiles, TheClaimedScratchFileIsHeldAgainstOtherInstances) {
    ASSERT_TRUE(claim_scratch_file());
    HostLockHandle other;
    ASSERT_TRUE(host_open_lock_handle("./(SCRATCH)/SCRATCH01.DATA", &other));
    EXPECT_FALSE(host_set_lock(other, HostLockLevel::Shared));
    EXPECT_FALSE(file_held_by_another_instance("./(SCRATCH)/SCRATCH02.DATA"))
        << "only the claimed one";
    close_all_files(CLOSE_EVERYTHING);
    EXPECT_TRUE(host_set_lock(other, HostLockLevel::Shared)) << "closing released it";
    host_close_lock_handle(&other);
}

} // namespace

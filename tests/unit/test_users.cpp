// The UserTable, user lookups, changing user, and the listing of a user's
// files with its object numbers.
#include "filesystem_test_support.h"

#include <algorithm>
#include <sys/stat.h>
#include <vector>

namespace {

uint64_t identity_of(const std::string &path) {
    struct stat status {};
    EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
    return static_cast<uint64_t>(status.st_ino);
}

TEST(ScanUsers, SystemRtScratchFirstThenTheOthersInListingOrder) {
    TemporaryNdTree tree({"SCRATCH", "ALICE", "SYSTEM", "RT", "BOB", "ZED"});
    CapturedOutput output;
    start_file_system();
    EXPECT_EQ(output.take(), "");
    ASSERT_EQ(user_table.count, 6);
    const char *expected[] = {"SYSTEM", "RT", "SCRATCH", "ALICE", "BOB", "ZED"};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(user_table.names[i], expected[i]) << i;
}

TEST(ScanUsers, LowerCaseSystemDoesNotCountAndListingOrderStays) {
    TemporaryNdTree tree({"system", "RT", "SCRATCH", "ALICE"});
    CapturedOutput output;
    start_file_system();
    EXPECT_EQ(output.take(), "Missing user SYSTEM, RT or SCRATCH\r\n");
    ASSERT_EQ(user_table.count, 4);
    EXPECT_EQ(user_table.names[0], "ALICE");
    EXPECT_EQ(user_table.names[1], "RT");
    EXPECT_EQ(user_table.names[2], "SCRATCH");
    EXPECT_EQ(user_table.names[3], "system");
}

TEST(ScanUsers, SeventeenLettersAreSkippedSixteenAreKept) {
    TemporaryNdTree tree;
    tree.make_user("ABCDEFGHIJKLMNOPQ");
    tree.make_user("ABCDEFGHIJKLMNOP");
    tree.write("(PLAINFILE)", "not a directory");
    std::filesystem::create_directory("()");
    std::filesystem::create_directory("NOPARENS");
    CapturedOutput output;
    start_file_system();
    EXPECT_EQ(output.take(), "User name (ABCDEFGHIJKLMNOPQ) is too long\r\n");
    ASSERT_EQ(user_table.count, 5);
    EXPECT_EQ(user_table.names[3], "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(user_table.names[4], "EMULATOR");
}

TEST(ScanUsers, StopsAfterTheTwoHundredFiftySixthUser) {
    TemporaryNdTree tree;
    for (int i = 0; i < 260; ++i)
        tree.make_user("U" + std::to_string(1000 + i));
    CapturedOutput output;
    start_file_system();
    EXPECT_EQ(output.take(), "\r\n Cannot handle more than 256 users\r\n");
    EXPECT_EQ(user_table.count, 256);
    EXPECT_EQ(user_table.names[0], "SYSTEM");
    // Listed in byte order: EMULATOR, RT, SCRATCH, SYSTEM, then U1000 on.
    EXPECT_EQ(user_table.names[3], "EMULATOR");
    EXPECT_EQ(user_table.names[255], "U1251");
}

TEST(FindUser, AbbreviationsExactNamesAndFailures) {
    TemporaryNdTree tree;
    tree.make_user("RTX");
    CapturedOutput output;
    start_file_system();
    std::string full;
    EXPECT_EQ(find_user("SY", &full), 0);
    EXPECT_EQ(full, "SYSTEM");
    EXPECT_EQ(find_user("RT", &full), 1) << "an exact name wins over a longer one";
    EXPECT_EQ(find_user("EM", &full), 3);
    EXPECT_EQ(full, "EMULATOR");
    EXPECT_EQ(find_user("R", &full), USER_NAME_AMBIGUOUS);
    EXPECT_EQ(find_user("NOBODY", &full), USER_NAME_UNKNOWN);
    EXPECT_EQ(find_user("system", &full), USER_NAME_UNKNOWN) << "no case folding";
    EXPECT_EQ(find_user("", &full), USER_NAME_TOO_LONG);
    EXPECT_EQ(find_user("ABCDEFGHIJKLMNOPQR", &full), USER_NAME_TOO_LONG);
    EXPECT_EQ(find_user(" SYSTEM", &full), USER_NAME_MISSING);
    EXPECT_EQ(find_user(",SYSTEM", &full), USER_NAME_MISSING);
    tree.make_user("SYSOP");
    scan_users();
    EXPECT_EQ(find_user("SY", &full), USER_NAME_AMBIGUOUS);
    EXPECT_EQ(output.take(), "");
}

TEST(FindUser, ExactLookupFallsBackToSystemWithAMessage) {
    TemporaryNdTree tree;
    CapturedOutput output;
    start_file_system();
    EXPECT_EQ(find_user_exact("SCRATCH"), 2);
    EXPECT_EQ(find_user_exact("SCRATC"), 0);
    EXPECT_EQ(output.take(), "Did not find user SCRATC\r\n");
}

TEST(ChangeUser, OnlySystemOrRtMayChangeAndTheSavedUserComesBack) {
    TemporaryNdTree tree;
    tree.make_user("ALICE");
    CapturedOutput output;
    start_file_system();
    uint32_t error = 0;
    ASSERT_EQ(user_table.current_user_index, 4);
    EXPECT_EQ(change_user("EMULATOR", &error), -1) << "not even to itself";
    EXPECT_EQ(error, ERROR_NOT_AUTHORIZED);
    EXPECT_EQ(user_table.current_user_name, "EMULATOR");

    user_table.current_user_name = "SYSTEM";
    user_table.current_user_index = 0;
    EXPECT_EQ(change_user("rt'IGNORED", &error), 2);
    EXPECT_EQ(user_table.current_user_name, "RT");
    EXPECT_EQ(user_table.current_user_index, 1);
    EXPECT_EQ(user_table.saved_user_index, 0);
    EXPECT_EQ(user_table.saved_user_name, "SYSTEM");

    EXPECT_EQ(change_user("AL", &error), 0);
    EXPECT_EQ(user_table.current_user_name, "ALICE");
    EXPECT_EQ(user_table.current_user_index, 3);
    EXPECT_EQ(change_user("SYSTEM", &error), 1) << "allowed through the saved user";
    EXPECT_EQ(user_table.saved_user_index, -1) << "changing to SYSTEM forgets it";

    EXPECT_EQ(change_user("RT", &error), 2);
    EXPECT_EQ(change_user("EMULATOR", &error), 0);
    restore_user();
    EXPECT_EQ(user_table.current_user_index, 0);
    EXPECT_EQ(user_table.current_user_name, "SYSTEM");
    EXPECT_EQ(user_table.saved_user_index, 0) << "the saved user stays saved";
    EXPECT_EQ(output.take(), "");
}

TEST(ChangeUser, LookupFailuresGiveTheirErrorCodes) {
    TemporaryNdTree tree;
    tree.make_user("SYSOP");
    CapturedOutput output;
    start_file_system();
    user_table.current_user_index = 0;
    uint32_t error = 0;
    EXPECT_EQ(change_user("SY", &error), -1);
    EXPECT_EQ(error, ERROR_AMBIGUOUS_USER);
    EXPECT_EQ(change_user("NOBODY", &error), -1);
    EXPECT_EQ(error, ERROR_NO_SUCH_USER);
    EXPECT_EQ(change_user("'", &error), -1);
    EXPECT_EQ(error, ERROR_TOO_LONG_PARAMETER);
    EXPECT_EQ(change_user(" X", &error), -1);
    EXPECT_EQ(error, ERROR_AMBIGUOUS_USER);
    restore_user();
    EXPECT_EQ(user_table.current_user_index, 0) << "nothing saved, nothing restored";
}

TEST(ScanUserFiles, OnlyNdFileNamesAreListedWithTheirMessages) {
    TemporaryNdTree tree;
    tree.write("(EMULATOR)/readme.txt", "x");
    tree.write("(EMULATOR)/LONGTYPE.SYMBX", "x");
    tree.write("(EMULATOR)/NOTYPE", "x");
    tree.write("(EMULATOR)/ABCDEFGHIJKLMNOPQ.SYMB", "x");
    tree.write("(EMULATOR)/ABCDEFGHIJKLMNOP.SYMB", "sixteen");
    tree.write("(EMULATOR)/.SCRATCH01.lock", "");
    tree.write("(EMULATOR)/A-B(1):2.DATA", "");
    tree.write("(EMULATOR)/BAD$.SYMB", "");
    CapturedOutput output;
    start_file_system();
    EXPECT_EQ(scan_user_files("EMULATOR", 1), 2);
    // The names are right-aligned in 30 columns.
    EXPECT_EQ(output.take(),
              "\r\nFile: " + std::string(8, ' ') +
                  "ABCDEFGHIJKLMNOPQ.SYMB > File name is too long" +
                  "\r\nFile: " + std::string(16, ' ') + "LONGTYPE.SYMBX > File type is too long" +
                  "\r\nFile: " + std::string(24, ' ') + "NOTYPE > File type is missing");
    EXPECT_EQ(user_file_list.entries[0].name, "A-B(1):2.DATA");
    EXPECT_EQ(user_file_list.entries[1].name, "ABCDEFGHIJKLMNOP.SYMB");
    EXPECT_EQ(user_file_list.entries[1].size, 7u);
    EXPECT_EQ(scan_user_files("EMULATOR", 0), 2);
    EXPECT_EQ(output.take(), "") << "quiet without the verbose flag";
}

TEST(ScanUserFiles, TimesSizesAndIdentitiesComeFromTheHostFile) {
    TemporaryNdTree tree;
    tree.write("(SYSTEM)/DATA.DATA", std::string(3000, 'x'));
    CapturedOutput output;
    start_file_system();
    ASSERT_EQ(scan_user_files("SYSTEM", 0), 1);
    const UserFileEntry &entry = user_file_list.entries[0];
    struct stat status {};
    ASSERT_EQ(stat("(SYSTEM)/DATA.DATA", &status), 0);
    EXPECT_EQ(entry.size, 3000u);
    EXPECT_EQ(entry.identity, static_cast<uint64_t>(status.st_ino));
    EXPECT_EQ(entry.modified, status.st_mtim.tv_sec);
    EXPECT_EQ(entry.accessed, status.st_atim.tv_sec);
    EXPECT_EQ(entry.changed, status.st_ctim.tv_sec);
    EXPECT_EQ(user_file_list.user_name, "SYSTEM");
}

TEST(ObjectNumbers, FollowTheAscendingFileIdentities) {
    TemporaryNdTree tree;
    const char *names[] = {"E.DATA", "B.DATA", "D.DATA", "A.DATA", "C.DATA"};
    for (const char *name : names)
        tree.write(std::string("(EMULATOR)/") + name, name);
    CapturedOutput output;
    start_file_system();
    ASSERT_EQ(scan_user_files("EMULATOR", 0), 5);
    std::vector<std::pair<uint64_t, std::string>> by_identity;
    for (const char *name : names)
        by_identity.emplace_back(identity_of(std::string("(EMULATOR)/") + name), name);
    std::sort(by_identity.begin(), by_identity.end());
    for (uint32_t k = 0; k < 5; ++k) {
        int position = find_object_file(k);
        ASSERT_GE(position, 0) << k;
        EXPECT_EQ(user_file_list.entries[position].name, by_identity[k].second) << k;
        EXPECT_EQ(user_file_list.sorted_identities[k], by_identity[k].first);
    }
    EXPECT_EQ(find_object_file(5), -1) << "an empty slot";
    EXPECT_EQ(find_object_file(256), -1);
    EXPECT_EQ(find_object_file(0xffffffffu), -1);

    tree.write("(EMULATOR)/F.DATA", "new");
    ASSERT_TRUE(append_user_file("F.DATA"));
    int position = find_object_file(5);
    ASSERT_EQ(position, 5) << "a created file gets the next object number";
    EXPECT_EQ(user_file_list.entries[5].identity, identity_of("(EMULATOR)/F.DATA"));
}

TEST(ObjectNumbers, AnUnreadableFileHasNoObjectEntry) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop the superuser";
    TemporaryNdTree tree;
    tree.write("(EMULATOR)/SECRET.DATA", "x");
    chmod("(EMULATOR)/SECRET.DATA", 0);
    CapturedOutput output;
    start_file_system();
    ASSERT_EQ(scan_user_files("EMULATOR", 0), 1);
    EXPECT_EQ(output.take(), "\r\nErrno=13");
    EXPECT_EQ(user_file_list.entries[0].identity, 0u);
    EXPECT_EQ(find_object_file(0), -1);
}

TEST(ScanUserFiles, TooManyFilesFailAndLeaveNoStaleEntries) {
    TemporaryNdTree tree;
    for (int i = 0; i < 255; ++i)
        tree.write("(RT)/F" + std::to_string(1000 + i) + ".DATA", "");
    CapturedOutput output;
    start_file_system();
    EXPECT_EQ(scan_user_files("RT", 0), 255);
    EXPECT_EQ(output.take(), "");
    tree.write("(RT)/F9999.DATA", "");
    EXPECT_EQ(scan_user_files("RT", 0), -1);
    EXPECT_EQ(output.take(), "\r\n Cannot handle more than 256 files\r\n");
    EXPECT_EQ(user_file_list.count, 0);
    EXPECT_EQ(find_object_file(0), -1);
}

TEST(ScanUserFiles, AMissingDirectoryKeepsTheOldCount) {
    TemporaryNdTree tree;
    tree.write("(SYSTEM)/A.DATA", "");
    CapturedOutput output;
    start_file_system();
    ASSERT_EQ(scan_user_files("SYSTEM", 0), 1);
    EXPECT_EQ(scan_user_files("NOBODY", 0), 1);
    EXPECT_EQ(output.take().rfind("Invalid File Handle. Get Last Error reports 2\r\n", 0), 0u);
}

} // namespace

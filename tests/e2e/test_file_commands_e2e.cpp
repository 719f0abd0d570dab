// The operator's file and user commands, run in the real binary against a
// temporary ND directory tree: their messages and what they do on the host.
#include "harness.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

namespace {

const std::string kClaimLine = "was successful: ./(SCRATCH)/SCRATCH01.DATA\r\n";

// Output after the start-up lines, one "<>" per command.
std::string run_commands(const NdTree &tree, const std::string &input) {
    RunResult run = run_kestrel(tree, input + "quit\n");
    EXPECT_EQ(run.exit_status, 0) << run.output;
    size_t at = run.output.find(kClaimLine);
    EXPECT_NE(at, std::string::npos) << run.output;
    std::string rest =
        at == std::string::npos ? run.output : run.output.substr(at + kClaimLine.size());
    const std::string end = "<>\r\n--- Terminated KESTREL\r\n";
    if (rest.size() >= end.size() && rest.compare(rest.size() - end.size(), end.size(), end) == 0)
        rest.resize(rest.size() - end.size());
    return rest;
}

// Everything below the tree root with the sizes of the files, in name order;
// the scratch-file lock files of the runs are left out.
std::string tree_listing(const NdTree &tree) {
    std::vector<std::string> lines;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(tree.root())) {
        if (entry.path().filename().string()[0] == '.') continue;
        std::string line = entry.path().string();
        if (entry.is_regular_file()) line += ":" + std::to_string(entry.file_size());
        lines.push_back(line);
    }
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const auto &line : lines)
        text += line + "\n";
    return text;
}

std::string zeros(size_t count) {
    return std::string(count, '\0');
}

TEST(UserCommands, ListUsersWhoAndCheckFiles) {
    NdTree tree;
    tree.make_directory("(ALICE)");
    tree.write_file("(EMULATOR)/PROG1.PROG", "p");
    tree.write_file("(EMULATOR)/NOTYPE", "");
    tree.write_file("(EMULATOR)/lower.symb", "");
    EXPECT_EQ(run_commands(tree, "list-users\n@who\ncheck-files\n"),
              std::string(
                  "<>These users are known:\r\n\r\nSYSTEM\r\nRT\r\nSCRATCH\r\nALICE\r\nEMULATOR\r\n"
                  "<>===>  1  EMULATOR\r\n"
                  "<>\r\nFile: ") +
                  std::string(24, ' ') + "NOTYPE > File type is missing" +
                  "\r\nThese files are known for user EMULATOR:\r\n\r\nPROG1.PROG\r\n");
}

TEST(UserCommands, LogInAndNewFollowTheAuthorisationRules) {
    NdTree tree;
    tree.make_directory("(ALICE)");
    tree.make_directory("(SYSOP)");
    std::string out = run_commands(tree, "@new SYSTEM\n"
                                         "log-in-user sy\n"
                                         "log-in-user SYSTEM\n"
                                         "log-in-user NOBODY\n"
                                         "log-in-user ABCDEFGHIJKLMNOPQR\n"
                                         "@new al\n"
                                         "@who\n"
                                         "@new RT\n"
                                         "@new EMULATOR\n"
                                         "@new ALICE\n"
                                         "log-in-user EMULATOR\n"
                                         "@new SYSTEM\n");
    EXPECT_EQ(out, "<>YOU ARE NOT AUTHORIZED TO DO THIS\r\n"
                   "<>Ambiguous user name\r\n"
                   "<>Logged out user EMULATOR and logged in user SYSTEM (user 0)\r\n"
                   "<>No such user name\r\n"
                   "<>User name too long\r\n"
                   "<>Changing from user SYSTEM to user ALICE (user 3)\r\n"
                   "<>===>  1  ALICE\r\n"
                   "<>Changing from user ALICE to user RT (user 1)\r\n"
                   "<>Changing from user RT to user EMULATOR (user 4)\r\n"
                   "<>YOU ARE NOT AUTHORIZED TO DO THIS\r\n"
                   "<>Logged out user EMULATOR and logged in user EMULATOR (user 4)\r\n"
                   "<>YOU ARE NOT AUTHORIZED TO DO THIS\r\n");
}

TEST(UserCommands, CreateAndDeleteUsers) {
    NdTree tree;
    std::string out = run_commands(tree, "@create-user alice\n"
                                         "@create-user ALICE\n"
                                         "@create-user ABCDEFGHIJKLMNOPQ\n"
                                         "@create-user A/B\n"
                                         "list-users\n"
                                         "@delete-user EMULATOR\n"
                                         "@delete-user NOBODY\n"
                                         "@delete-user S\n");
    EXPECT_EQ(out,
              "<><>\r\nUSER ALREADY EXISTS\r\n"
              "<>User name too long\r\n"
              "<>\r\nILLEGAL CHARACTER IN PARAMETER\r\n"
              "<>These users are known:\r\n\r\nSYSTEM\r\nRT\r\nSCRATCH\r\nALICE\r\nEMULATOR\r\n"
              "<>You can not delete yourself\r\n"
              "<>\r\nNO SUCH USER NAME\r\n"
              "<>\r\nAMBIGUOUS USER NAME\r\n");
    EXPECT_TRUE(std::filesystem::is_directory(tree.path("(ALICE)")));
    EXPECT_FALSE(tree.exists("(ABCDEFGHIJKLMNOPQ)"));
    EXPECT_FALSE(tree.exists("(A"));

    tree.write_file("(ALICE)/KEEP.DATA", "k");
    tree.make_directory("(BOB)");
    out = run_commands(tree, "@delete-user ALICE\n@delete-user BOB\nlist-users\n");
    EXPECT_EQ(out,
              "<>\r\nUSER HAS FILES\r\n<>"
              "<>These users are known:\r\n\r\nSYSTEM\r\nRT\r\nSCRATCH\r\nALICE\r\nEMULATOR\r\n");
    EXPECT_TRUE(tree.exists("(ALICE)/KEEP.DATA"));
    EXPECT_FALSE(tree.exists("(BOB)"));
}

TEST(UserCommands, DeletingAUserKeepsTheCurrentIndexRight) {
    NdTree tree;
    tree.make_directory("(AAA)");
    std::string out = run_commands(tree, "@delete-user AAA\n@who\nlog-in-user EM\n");
    EXPECT_EQ(out, "<><>===>  1  EMULATOR\r\n"
                   "<>Logged out user EMULATOR and logged in user EMULATOR (user 3)\r\n");
}

TEST(FileCommands, CreateFileWritesWholePagesOfZeros) {
    NdTree tree;
    std::string out = run_commands(tree, "@create-file (SYSTEM)TEST 2\n"
                                         "@create-file X.SYMB 0\n"
                                         "@create-file X:SYMB 1\n"
                                         "@create-file Y: 1\n"
                                         "silent-mode off\n"
                                         "@create-file (SY)LOUD:BIN 0\n");
    EXPECT_EQ(out, "<><>File type separator . substituted by :\r\n"
                   "<>File already exists\r\n"
                   "<><><>./(SYSTEM)/LOUD.BIN\r\n");
    EXPECT_EQ(tree.read_file("(SYSTEM)/TEST.DATA"), zeros(4096));
    EXPECT_EQ(tree.read_file("(EMULATOR)/X.SYMB"), "");
    EXPECT_EQ(tree.read_file("(EMULATOR)/Y.DATA"), zeros(2048));
    EXPECT_TRUE(tree.exists("(SYSTEM)/LOUD.BIN"));
}

TEST(FileCommands, CreateFileAsksBeforeALargeFile) {
    NdTree tree;
    std::string out = run_commands(tree, "@create-file BIG 101 no\n"
                                         "@create-file BIG 101 maybe\n"
                                         "@create-file HUGE 150 yes\n");
    EXPECT_EQ(out, "<><>Please answer yes or no\r\n<>");
    EXPECT_EQ(std::filesystem::file_size(tree.path("(EMULATOR)/BIG.DATA")), 101u * 2048);
    EXPECT_EQ(tree.read_file("(EMULATOR)/HUGE.DATA"), zeros(150 * 2048));
}

TEST(FileCommands, CreateFileRefusalsChangeNothing) {
    NdTree tree;
    std::string before = tree_listing(tree);
    std::string out = run_commands(tree, "@create-file 1X 1\n"
                                         "@create-file (NOBODY)X 1\n"
                                         "@create-file (SYSTEM 1\n"
                                         "@create-file (ABCDEFGHIJKLMNOPQ)X 1\n"
                                         "@create-file A\"B 1\n"
                                         "@create-file ../ESCAPE 1\n"
                                         "@create-file /tmp/ESCAPE 1\n"
                                         "@create-file ABCDEFGHIJKLMNOPQ 1\n"
                                         "@create-file A:TYPES 1\n");
    EXPECT_EQ(out,
              "<><>No such user name\r\n"
              "<>Bad user name\r\n"
              "<>User name too long\r\n"
              "<>Illegal character in file name: \""
              "<>File type separator . substituted by :\r\nIllegal character in file name: /\r\n"
              "<>Illegal character in file name: /\r\n"
              "<>File name too long\r\n"
              "<>File type > 4 characters\r\n")
        << "the first line is a valid name: 1X";
    std::filesystem::remove(tree.path("(EMULATOR)/1X.DATA"));
    EXPECT_EQ(tree_listing(tree), before);
}

TEST(FileCommands, ListFileShowsMatchingFilesWithSizes) {
    NdTree tree;
    tree.write_file("(EMULATOR)/ABC.SYMB", "abc");
    tree.write_file("(EMULATOR)/ABD.DATA", std::string(2048, 'd'));
    tree.write_file("(EMULATOR)/X.SYMB", "");
    std::string out = run_commands(tree, "@list-file *\n"
                                         "@list-file AB\n"
                                         "@list-file .SY\n"
                                         "@list-file (SYSTEM)\n"
                                         "@list-file NOTHING\n"
                                         "@list-file (NOBODY)X\n");
    auto line = [](int index, const std::string &shown, const std::string &size) {
        std::string text = "\r\nFILE " + std::to_string(index) + " : " + shown;
        text.resize(53, ' ');
        return text + size + " bytes";
    };
    EXPECT_EQ(out, "<>" + line(0, "(EMULATOR)ABC:SYMB", "3") +
                       line(1, "(EMULATOR)ABD:DATA", "2048") + line(2, "(EMULATOR)X:SYMB", "0") +
                       "\r\n" + "<>" + line(0, "(EMULATOR)ABC:SYMB", "3") +
                       line(1, "(EMULATOR)ABD:DATA", "2048") + "\r\n" + "<>" +
                       line(0, "(EMULATOR)ABC:SYMB", "3") + line(2, "(EMULATOR)X:SYMB", "0") +
                       "\r\n" + "<>" + line(0, "(SYSTEM)TERMINAL:SYMB", "0") + "\r\n" +
                       "<>NO SUCH FILE NAME\r\n"
                       "<>No such user name\r\n");
}

TEST(FileCommands, DeleteFileResolvesAndReportsByErrorCode) {
    NdTree tree;
    tree.write_file("(EMULATOR)/ABC.SYMB", "abc");
    tree.write_file("(EMULATOR)/ABD.SYMB", "abd");
    tree.write_file("(EMULATOR)/GONE.DATA", "g");
    tree.write_file("(SYSTEM)/SYSFILE.DATA", "s");
    tree.write_file("OUTSIDE.DATA", "o");
    tree.write_file("(EMULATOR)/A1.DATA", "a1");
    tree.write_file("(EMULATOR)/A12.DATA", "a12");
    std::string out = run_commands(tree, "@delete-file A1:DATA\n"
                                         "@delete-file gone\n"
                                         "@delete-file GONE\n"
                                         "@delete-file AB\n"
                                         "@delete-file (NOBODY)X\n"
                                         "@delete-file (SYSTEM\n"
                                         "@delete-file ../OUTSIDE.DATA\n"
                                         "@delete-file SYSFILE\n");
    EXPECT_EQ(out, "<><>"
                   "<>\r\nNO SUCH FILE NAME\r\n"
                   "<>\r\nAMBIGUOUS FILE NAME\r\n"
                   "<>\r\nNO SUCH USER NAME\r\n"
                   "<>\r\nILLEGAL CHARACTER IN PARAMETER\r\n"
                   "<>\r\nILLEGAL CHARACTER IN PARAMETER\r\n"
                   "<>Not allowed to delete another user's file\r\n");
    EXPECT_FALSE(tree.exists("(EMULATOR)/GONE.DATA"));
    EXPECT_TRUE(tree.exists("(SYSTEM)/SYSFILE.DATA")) << "found through the SYSTEM fallback";
    EXPECT_TRUE(tree.exists("(EMULATOR)/ABC.SYMB"));
    EXPECT_TRUE(tree.exists("OUTSIDE.DATA"));
    EXPECT_FALSE(tree.exists("(EMULATOR)/A1.DATA")) << "the exact name, not an ambiguous one";
    EXPECT_TRUE(tree.exists("(EMULATOR)/A12.DATA"));
}

TEST(FileCommands, CopyFileAppendsAndPadsToAWholePage) {
    NdTree tree;
    tree.write_file("(EMULATOR)/TEN.SYMB", "0123456789");
    tree.write_file("(EMULATOR)/DEST.SYMB", "start");
    tree.write_file("(EMULATOR)/PAGE.DATA", std::string(2048, 'p'));
    tree.write_file("(EMULATOR)/EMPTY.DATA", "");
    std::string out = run_commands(tree, "@copy-file DEST TEN\n"
                                         "@copy-file \"NEW\" PAGE:DATA\n"
                                         "@copy-file \"NIL\" EMPTY:DATA\n");
    EXPECT_EQ(out, "<>10 bytes copied from source file, wrote 0's to fill a page\r\n"
                   "<>\r\nCreate file ./(EMULATOR)/NEW.SYMB\r\n"
                   "2048 bytes copied from source file, wrote 0's to fill a page\r\n"
                   "<>\r\nCreate file ./(EMULATOR)/NIL.SYMB\r\n"
                   "0 bytes copied from source file, wrote 0's to fill a page\r\n");
    EXPECT_EQ(tree.read_file("(EMULATOR)/DEST.SYMB"), "start0123456789" + zeros(2038));
    EXPECT_EQ(tree.read_file("(EMULATOR)/NEW.SYMB"), std::string(2048, 'p'));
    EXPECT_EQ(tree.read_file("(EMULATOR)/NIL.SYMB"), "");
    EXPECT_EQ(tree.read_file("(EMULATOR)/TEN.SYMB"), "0123456789");
}

TEST(FileCommands, CopyFileRefusalsChangeNothing) {
    NdTree tree;
    tree.write_file("(EMULATOR)/TEN.SYMB", "0123456789");
    tree.write_file("(EMULATOR)/DEST.SYMB", "start");
    std::string before = tree_listing(tree);
    std::string out = run_commands(tree, "@copy-file DEST MISSING\n"
                                         "@copy-file (SYSTEM)TERMINAL TEN\n"
                                         "@copy-file DEST (SYSTEM)TERMINAL\n"
                                         "@copy-file TEN TEN\n"
                                         "@copy-file DEST /etc/passwd\n");
    EXPECT_EQ(out, "<>No such file name: MISSING.SYMB\r\n"
                   "<>Not allowed, terminal is a peripheral device\r\n"
                   "<>Not allowed, terminal is a peripheral device\r\n"
                   "<>Source and destination are the same file\r\n"
                   "<>Illegal character in file name: /ETC/PASSWD\r\n");
    EXPECT_EQ(tree_listing(tree), before);
    EXPECT_EQ(tree.read_file("(EMULATOR)/DEST.SYMB"), "start");
}

TEST(FileCommands, CopyMakesTheDestinationAnew) {
    NdTree tree;
    tree.write_file("(EMULATOR)/SRC.SYMB", "new contents");
    tree.write_file("(EMULATOR)/DEST.SYMB", "old and longer contents");
    tree.write_file("(EMULATOR)/HIGH.SYMB", "\xc8\xc9\r\n");
    std::string out = run_commands(tree, "@copy DEST SRC\n"
                                         "@copy (SYSTEM)TERMINAL HIGH\n");
    EXPECT_EQ(out, "<>12 bytes copied from source file\r\n"
                   "<>HI\r\n4 bytes copied from source file\r\n");
    EXPECT_EQ(tree.read_file("(EMULATOR)/DEST.SYMB"), "new contents");
}

TEST(FileCommands, AFailedCopyTruncatesNothing) {
    NdTree tree;
    tree.write_file("(EMULATOR)/DEST.SYMB", "keep me");
    std::string out = run_commands(tree, "@copy DEST MISSING\n@copy DEST DEST\n");
    EXPECT_EQ(out, "<>No such file name: MISSING.SYMB\r\n"
                   "<>Source and destination are the same file\r\n");
    EXPECT_EQ(tree.read_file("(EMULATOR)/DEST.SYMB"), "keep me");
}

TEST(FileCommands, RenameFileWithinTheCurrentUser) {
    NdTree tree;
    tree.write_file("(EMULATOR)/OLD.SYMB", "o");
    tree.write_file("(EMULATOR)/OTHER.DATA", "x");
    std::string out = run_commands(tree, "silent-mode off\n"
                                         "@rename-file OLD NEW\n"
                                         "@rename-file NEW:SYMB RENAMED:DATA\n");
    EXPECT_EQ(out, "<>"
                   "<>\r\nOpen file: ./(EMULATOR)/OLD.SYMB\r\n"
                   "Rename ./(EMULATOR)/OLD.SYMB to ./(EMULATOR)/NEW.SYMB\r\n"
                   "<>\r\nOpen file: ./(EMULATOR)/NEW.SYMB\r\n"
                   "Rename ./(EMULATOR)/NEW.SYMB to ./(EMULATOR)/RENAMED.DATA\r\n");
    EXPECT_EQ(tree.read_file("(EMULATOR)/RENAMED.DATA"), "o");
    EXPECT_FALSE(tree.exists("(EMULATOR)/OLD.SYMB"));
    EXPECT_FALSE(tree.exists("(EMULATOR)/NEW.SYMB"));
}

TEST(FileCommands, RenameFileRefusalsChangeNothing) {
    NdTree tree;
    tree.write_file("(EMULATOR)/OLD.SYMB", "o");
    tree.write_file("(EMULATOR)/TAKEN.SYMB", "t");
    tree.write_file("(SYSTEM)/SYSFILE.SYMB", "s");
    std::string before = tree_listing(tree);
    std::string out = run_commands(tree, "@rename-file SYSFILE MINE\n"
                                         "@rename-file OLD TAKEN\n"
                                         "@rename-file OLD NEW.TYPES\n"
                                         "@rename-file OLD NEW.\n"
                                         "@rename-file OLD NEW.A$\n"
                                         "@rename-file OLD ABCDEFGHIJKLMNOPQ\n"
                                         "@rename-file OLD (SYSTEM)NEW\n"
                                         "@rename-file OLD ../NEW\n"
                                         "@rename-file OLD A(B\n");
    EXPECT_EQ(out, "<>Not allowed to rename another user's file\r\n"
                   "<>File already exists\r\n"
                   "<>"
                       "File type > 4 characters\r\n"
                       "<>"
                       "Found file type separator, but no file type!\r\n"
                       "<>"
                       "Bad character in file type\r\n"
                       "<>"
                       "File name too long\r\n"
                       "<>"
                       "Not allowed to rename another user's file\r\n"
                       "<>\r\nIllegal character in file name: ../NEW\r\n"
                       "<>"
                       "Found ( but not )\r\n");
    EXPECT_EQ(tree_listing(tree), before);
}

TEST(OpenFileCommands, ListCloseAndTheScratchFile) {
    NdTree tree;
    std::string out = run_commands(tree, "@list-opened-files\n"
                                         "@close-file 105\n"
                                         "@close-file 18\n"
                                         "@close-file 177777\n"
                                         "open-scratch-file\n"
                                         "@close-file 100\n"
                                         "@list-opened-files\n");
    const std::string scratch =
        "\r\n   100: ./(SCRATCH)/SCRATCH01.DATA Opened for access   2, block size 512 bytes";
    EXPECT_EQ(out,
              "<>" + scratch + "\r\n" + "<>NO FILE OPENED WITH THIS NUMBER\r\nFiles still open:" +
                  scratch + "\r\n" + "<>Illegal char. in octal number: 8\r\n" + "<>" + scratch +
                  "\r\nAll above files closed\r\n" +
                  "<>\r\nNot coded, restart emulator to open scratch file!\r\n" + "<>" + "<>\r\n");
}

TEST(OpenFileCommands, ASecondInstanceGetsTheSecondScratchFile) {
    NdTree tree;
    PtySession first(tree);
    ASSERT_TRUE(first.wait_for("<>")) << first.output();
    RunResult second = run_kestrel(tree, "@list-opened-files\nquit\n");
    EXPECT_NE(second.output.find("was successful: ./(SCRATCH)/SCRATCH02.DATA\r\n"),
              std::string::npos)
        << second.output;
    EXPECT_NE(second.output.find("\r\n   100: ./(SCRATCH)/SCRATCH02.DATA Opened for access"),
              std::string::npos);
    first.send("quit\r");
    EXPECT_EQ(first.wait_exit(), 0);
    RunResult third = run_kestrel(tree, "quit\n");
    EXPECT_NE(third.output.find(kClaimLine), std::string::npos) << "the lock went with the process";
}

TEST(ReleaseDirectory, ReadsItsArgumentAndDoesNothingElse) {
    NdTree tree;
    std::string before = tree_listing(tree);
    EXPECT_EQ(run_commands(tree, "@release-directory (EMULATOR)\n@who\n"),
              "<><>===>  1  EMULATOR\r\n");
    EXPECT_EQ(tree_listing(tree), before);
}

} // namespace

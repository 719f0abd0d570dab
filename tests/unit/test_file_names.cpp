// ND file names: normalising, user parts, de-abbreviation with the SYSTEM
// fallback, names for new files, and the shell's file opener.
#include "filesystem/file_names.h"
#include "filesystem_test_support.h"

namespace {

class FileNames : public ::testing::Test {
  protected:
    void SetUp() override {
        tree_.make_user("ALICE");
        tree_.write("(SYSTEM)/MYFILE.SYMB", "system file");
        tree_.write("(SYSTEM)/TERMINAL.SYMB", "");
        tree_.write("(EMULATOR)/ABC.SYMB", "abc");
        tree_.write("(EMULATOR)/ABD.SYMB", "abd");
        tree_.write("(EMULATOR)/AB.DATA", "ab");
        start_file_system();
    }
    std::string resolve(const std::string &name, int expected_status) {
        std::string path = "unchanged";
        EXPECT_EQ(deabb(name, &path), expected_status) << name;
        return path;
    }
    TemporaryNdTree tree_;
    CapturedOutput output_;
};

TEST_F(FileNames, NormaliseDropsTheDirectoryNameAndChecksLimits) {
    std::string out;
    EXPECT_EQ(normalise_name("(PACK-ONE:SYSTEM)X", &out), 1);
    EXPECT_EQ(out, "(SYSTEM)X");
    EXPECT_EQ(normalise_name("\"(PACK:ALICE)NEW:DATA\"", &out), 1);
    EXPECT_EQ(out, "\"(ALICE)NEW:DATA\"");
    EXPECT_EQ(normalise_name("X:SYMB", &out), 0);
    EXPECT_EQ(out, "X:SYMB");
    EXPECT_EQ(normalise_name("(ALICE", &out), 1) << "deabb reports the missing )";
    EXPECT_EQ(normalise_name("(PACK:ALICE", &out), -1);
    EXPECT_EQ(normalise_name(std::string(60, 'A'), &out), 0);
    EXPECT_EQ(normalise_name(std::string(61, 'A'), &out), -2);
    EXPECT_EQ(normalise_name("../X", &out), -1);
    EXPECT_EQ(normalise_name("(SYSTEM)/X", &out), -1);
}

TEST_F(FileNames, UserPartAndNamePartLength) {
    std::string user;
    EXPECT_EQ(user_of_name("X", &user), 0);
    EXPECT_EQ(user, "EMULATOR");
    EXPECT_EQ(user_of_name("()X", &user), 5);
    EXPECT_EQ(user, "EMULATOR");
    EXPECT_EQ(user_of_name("(AL)X", &user), 1);
    EXPECT_EQ(user, "AL");
    EXPECT_EQ(user_of_name("./(SYSTEM)/X.SYMB", &user), 1);
    EXPECT_EQ(user, "SYSTEM");
    EXPECT_EQ(user_of_name("(ABCDEFGHIJKLMNOP)X", &user), 1);
    EXPECT_EQ(user_of_name("(ABCDEFGHIJKLMNOPQ)X", &user), -1);
    EXPECT_EQ(user_of_name("(ALICE", &user), -5);

    EXPECT_EQ(name_part_length("(SYSTEM)ABC:SYMB"), 3);
    EXPECT_EQ(name_part_length("\"NEWFILE.DATA\""), 7);
    EXPECT_EQ(name_part_length("./(SYSTEM)/ABCD.SYMB"), 4);
    EXPECT_EQ(name_part_length("ABCDEFGHIJKLMNOPQ"), 17);
    EXPECT_EQ(name_part_length("(SYSTEM):SYMB"), 0);
    EXPECT_EQ(name_part_length("(SYSTEM"), -1);
}

TEST_F(FileNames, DeabbResolvesExactAndAbbreviatedNames) {
    EXPECT_EQ(resolve("ABC.SYMB", 0), "./(EMULATOR)/ABC.SYMB");
    EXPECT_EQ(resolve("ABC", 0), "./(EMULATOR)/ABC.SYMB");
    EXPECT_EQ(resolve("AB.DATA", 0), "./(EMULATOR)/AB.DATA") << "exact beats abbreviations";
    EXPECT_EQ(resolve("ABD:S", 0), "./(EMULATOR)/ABD.SYMB");
    resolve("AB:S", NAME_FILE_AMBIGUOUS);
    // NAME:TYPE is NAME.TYPE, and a name given whole wins over the longer
    // names it abbreviates.
    tree_.write("(ALICE)/A1.DATA", "a1");
    tree_.write("(ALICE)/A12.DATA", "a12");
    EXPECT_EQ(resolve("(AL)A1:DATA", 0), "./(ALICE)/A1.DATA");
    EXPECT_EQ(resolve("(AL)A1:D", 0), "./(ALICE)/A1.DATA");
    EXPECT_EQ(resolve("(AL)A1", 0), "./(ALICE)/A1.DATA");
    EXPECT_EQ(resolve("(AL)A12", 0), "./(ALICE)/A12.DATA");
    resolve("(AL)A:DATA", NAME_FILE_AMBIGUOUS);
    EXPECT_EQ(resolve("(AL)ABC", NAME_NO_SUCH_FILE), "unchanged");
    EXPECT_EQ(resolve("(PACK-ONE:SYSTEM)MY", 0), "./(SYSTEM)/MYFILE.SYMB");
    EXPECT_EQ(resolve("./(EMULATOR)/ABC.SYMB", 0), "./(EMULATOR)/ABC.SYMB");
    resolve("abc.symb", NAME_NO_SUCH_FILE);
    EXPECT_EQ(output_.take(), "");
}

TEST_F(FileNames, DeabbFallsBackToSystemOnlyWithoutAUserPart) {
    EXPECT_EQ(resolve("MYFILE", 0), "./(SYSTEM)/MYFILE.SYMB");
    EXPECT_EQ(user_file_list.user_name, "EMULATOR") << "the current user's list is restored";
    EXPECT_EQ(user_file_list.count, 3);
    resolve("(ALICE)MYFILE", NAME_NO_SUCH_FILE);
    resolve("()MYFILE", NAME_NO_SUCH_FILE);
    resolve("NOWHERE", NAME_NO_SUCH_FILE);
    EXPECT_EQ(user_file_list.user_name, "EMULATOR");
    settings.debug_level = 7;
    resolve("MYFILE", 0);
    EXPECT_EQ(output_.take(), "\r\nTry user SYSTEM\r\n");
}

TEST_F(FileNames, AnUnlistableDirectoryMatchesNothing) {
    tree_.write("(ALICE)/ONLYALICE.SYMB", "a");
    resolve("(ALICE)ONLY", 0);
    std::filesystem::remove_all("(EMULATOR)");
    resolve("ONLYALICE", NAME_NO_SUCH_FILE);
    EXPECT_EQ(resolve("MYFILE", 0), "./(SYSTEM)/MYFILE.SYMB");
    EXPECT_NE(output_.take().find("Invalid File Handle. Get Last Error reports 2\r\n"),
              std::string::npos);
}

TEST_F(FileNames, DeabbUserFailures) {
    tree_.make_user("SYSOP");
    scan_users();
    resolve("(SYS)TEST:SYMB", NAME_USER_AMBIGUOUS);
    resolve("(NOBODY)X", NAME_NO_SUCH_USER);
    resolve("(ABCDEFGHIJKLMNOPQ)X", NAME_USER_TOO_LONG);
    resolve("(ALICE", NAME_MISSING_PARENTHESIS);
    resolve("( X)Y", NAME_NO_USER);
}

TEST_F(FileNames, NoNameLeavesTheUserDirectories) {
    tree_.write("OUTSIDE.SYMB", "outside");
    for (const char *name : {"../OUTSIDE.SYMB", "/etc/passwd", "(SYSTEM)/../../OUTSIDE.SYMB",
                             "./(SYSTEM)/../OUTSIDE.SYMB", "./(SYSTEM)/X/../MYFILE.SYMB",
                             "./(../(SYSTEM))/MYFILE.SYMB"})
        resolve(name, NAME_ILLEGAL_CHARACTER);
    resolve("(SYSTEM)..", NAME_NO_SUCH_FILE);
    resolve("(SYSTEM)", NAME_NO_SUCH_FILE);
    std::string path;
    for (const char *name : {"../X", "(SYSTEM)/X", "(SYSTEM)", "\"(SYSTEM)\"", "..", "()/X"})
        EXPECT_EQ(deabb_user(name, &path, "EMULATOR"), NAME_ILLEGAL_CHARACTER) << name;
    EXPECT_EQ(resolution_error_code(NAME_ILLEGAL_CHARACTER), 021);
}

TEST_F(FileNames, TooManyFilesIsAStatusOfItsOwn) {
    for (int i = 0; i < 256; ++i)
        tree_.write("(ALICE)/F" + std::to_string(1000 + i) + ".DATA", "");
    resolve("(ALICE)F1000", NAME_DIRECTORY_TOO_LARGE);
    EXPECT_EQ(resolution_error_code(NAME_DIRECTORY_TOO_LARGE), -1);
    output_.take();
    print_resolution_status(NAME_DIRECTORY_TOO_LARGE, "X");
    EXPECT_EQ(output_.take(), "\r\nsts = -8\r\n\r\n Status -8 not handled\r\n");
}

TEST_F(FileNames, DeabbUserCompletesNamesForNewFiles) {
    std::string path;
    EXPECT_EQ(deabb_user("NEW.DATA", &path, "EMULATOR"), 0);
    EXPECT_EQ(path, "./(EMULATOR)/NEW.DATA");
    EXPECT_EQ(deabb_user("\"NEW.DATA", &path, "EMULATOR"), 0);
    EXPECT_EQ(path, "\"./(EMULATOR)/NEW.DATA");
    EXPECT_EQ(deabb_user("(AL)NEW.DATA", &path, "EMULATOR"), 0);
    EXPECT_EQ(path, "./(ALICE)/NEW.DATA");
    EXPECT_EQ(deabb_user("()NEW.DATA", &path, "EMULATOR"), 0);
    EXPECT_EQ(path, "./(EMULATOR)/NEW.DATA") << "() names the current user";
    EXPECT_EQ(deabb_user("(PACK:SYSTEM)NEW.DATA", &path, "EMULATOR"), 0);
    EXPECT_EQ(path, "./(SYSTEM)/NEW.DATA");
    EXPECT_EQ(deabb_user("(NOBODY)NEW", &path, "EMULATOR"), NAME_NO_SUCH_USER);
    EXPECT_EQ(path, "");
    EXPECT_EQ(deabb_user("(ALICE", &path, "EMULATOR"), NAME_MISSING_PARENTHESIS);
}

TEST_F(FileNames, DefaultTypesAndTheTerminal) {
    EXPECT_EQ(add_default_type("X", "PROG"), "X.PROG");
    EXPECT_EQ(add_default_type("X", ".BPUN"), "X.BPUN");
    EXPECT_EQ(add_default_type("X:DATA", "PROG"), "X.DATA");
    EXPECT_EQ(add_default_type("\"X\"", "SYMB"), "\"X.SYMB\"");
    EXPECT_EQ(add_default_type("(A.B)X", "SYMB"), "(A.B)X.SYMB");
    EXPECT_TRUE(is_terminal_path("./(SYSTEM)/TERMINAL.SYMB"));
    EXPECT_FALSE(is_terminal_path("./(SYSTEM)/TERMINAL.DATA"));
}

TEST_F(FileNames, StatusMessagesAndErrorCodes) {
    const int statuses[] = {-1, -2, -3, -4, -5, -6, -7};
    const int codes[] = {044, 045, 046, 046, 021, 057, 056};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(resolution_error_code(statuses[i]), codes[i]);
    for (int status : statuses)
        print_resolution_status(status, "X.SYMB");
    EXPECT_EQ(output_.take(), "User name too long\r\nAmbiguous user name\r\nNo such user name\r\n"
                              "No user name specified\r\nFound ( but not )\r\n"
                              "Ambiguous file name\r\nNo such file name: X.SYMB\r\n");
    print_resolution_status(-7, "Y", true);
    EXPECT_EQ(output_.take(), "\r\nNo such file name: Y\r\n");
}

// --- the shell's opener ---

class Opener : public FileNames {
  protected:
    int open(const std::string &line, const char *mode = "rb", const char *type = "SYMB",
             const char *prompt = "File: ") {
        set_arguments(line);
        stream_ = nullptr;
        int result = s3_fopen(&stream_, prompt, mode, type, &path_);
        return result;
    }
    void TearDown() override {
        if (stream_ && stream_ != stdin && stream_ != stdout) std::fclose(stream_);
    }
    FILE *stream_ = nullptr;
    std::string path_;
};

TEST_F(Opener, OpensAnExistingFileQuietlyInSilentMode) {
    ASSERT_EQ(open("abc"), 0);
    EXPECT_EQ(path_, "./(EMULATOR)/ABC.SYMB");
    EXPECT_EQ(last_opened_file_name, path_);
    EXPECT_EQ(std::fgetc(stream_), 'a');
    EXPECT_EQ(output_.take(), "");
    settings.silent_mode = 0;
    std::fclose(stream_);
    ASSERT_EQ(open("@(SYSTEM)MYFILE"), 0);
    EXPECT_EQ(output_.take(), "\r\nOpen file: ./(SYSTEM)/MYFILE.SYMB\r\n");
    std::fclose(stream_);
    shell.program_command_pending = 1;
    ASSERT_EQ(open("ABC"), 0);
    EXPECT_EQ(output_.take(), "") << "quiet while a program's command is pending";
}

TEST_F(Opener, ResolutionFailuresPrintTheirMessage) {
    EXPECT_EQ(open("NOSUCH"), NAME_NO_SUCH_FILE);
    EXPECT_EQ(output_.take(), "No such file name: NOSUCH.SYMB\r\n");
    EXPECT_EQ(open("AB", "rb", "SYMB"), NAME_FILE_AMBIGUOUS);
    EXPECT_EQ(output_.take(), "Ambiguous file name\r\n");
    EXPECT_EQ(open("AB", "rb", "DATA"), 0) << "the default type decides";
    EXPECT_EQ(open("(PACK:ALICE"), NAME_MISSING_PARENTHESIS);
    EXPECT_EQ(output_.take(), "Found ( but not )\r\n");
}

TEST_F(Opener, SixtyCharactersAreTheLimit) {
    std::string sixty = "(SYSTEM)" + std::string(52, 'M');
    EXPECT_EQ(open(sixty), NAME_NO_SUCH_FILE);
    output_.take();
    EXPECT_EQ(open(sixty + "M"), OPEN_CANCELLED);
    EXPECT_EQ(output_.take(), "") << "refused without a message";
}

TEST_F(Opener, QuotedNamesCreateFilesButNeverTruncate) {
    std::string before = tree_.listing();
    EXPECT_EQ(open("\"ABC\"", "wb"), OPEN_FILE_EXISTS);
    EXPECT_EQ(output_.take(), "\r\nFile already exists\r\n");
    EXPECT_EQ(tree_.read("(EMULATOR)/ABC.SYMB"), "abc");
    EXPECT_EQ(open("\"NEW", "wb"), OPEN_CANCELLED);
    EXPECT_EQ(output_.take(), "\r\nError in file name, did not find ending \" ");
    EXPECT_EQ(tree_.listing(), before);

    ASSERT_EQ(open("\"(AL)NEW:DATA\"", "wb"), 0);
    EXPECT_EQ(output_.take(), "\r\nCreate file ./(ALICE)/NEW.DATA\r\n");
    EXPECT_EQ(path_, "./(ALICE)/NEW.DATA");
    std::fputs("written", stream_);
    std::fclose(stream_);
    stream_ = nullptr;
    EXPECT_EQ(tree_.read("(ALICE)/NEW.DATA"), "written");
}

TEST_F(Opener, ACreationTheHostRefusesFailsTheOpen) {
    // ALICE's directory gives way to a plain file after the users were
    // scanned: nothing can be made in it.
    std::filesystem::remove("(ALICE)");
    tree_.write("(ALICE)", "not a directory");
    EXPECT_EQ(open("\"(AL)NEWONE\"", "wb"), OPEN_FAILED);
    EXPECT_EQ(output_.take(), "\r\nCreate file ./(ALICE)/NEWONE.SYMB\r\n"
                              "\r\nCould not create file ./(ALICE)/NEWONE.SYMB\r\n");
    EXPECT_EQ(tree_.read("(ALICE)"), "not a directory");
}

TEST_F(Opener, LinksAreNeitherFollowedNorReplaced) {
    // A link in a user directory, dangling or not, is no ND file: it is not
    // opened, and a new file is never made through it.
    std::filesystem::create_symlink(tree_.root() + "/OUTSIDE", "(EMULATOR)/EVIL.SYMB");
    std::filesystem::create_symlink(tree_.root() + "/(EMULATOR)/ABC.SYMB", "(EMULATOR)/LINK.SYMB");
    EXPECT_EQ(open("\"EVIL\"", "wb"), OPEN_FILE_EXISTS);
    EXPECT_EQ(output_.take(), "\r\nFile already exists\r\n");
    EXPECT_FALSE(tree_.exists("OUTSIDE"));
    EXPECT_EQ(open("LINK", "a"), NAME_NO_SUCH_FILE);
    EXPECT_EQ(output_.take(), "No such file name: LINK.SYMB\r\n");
}

TEST_F(Opener, NamesThatCouldNotBeListedAreNotCreated) {
    std::string before = tree_.listing();
    EXPECT_EQ(open("\"ABCDEFGHIJKLMNOPQ\"", "wb"), OPEN_CANCELLED);
    EXPECT_EQ(open("\"X:TYPES\"", "wb"), OPEN_CANCELLED);
    EXPECT_EQ(open("\"X*Y\"", "wb"), NAME_ILLEGAL_CHARACTER);
    EXPECT_EQ(open("\"../X\"", "wb"), NAME_ILLEGAL_CHARACTER);
    EXPECT_EQ(open("\"/tmp/X\"", "wb"), NAME_ILLEGAL_CHARACTER);
    EXPECT_EQ(open("X\"Y\"", "wb"), NAME_ILLEGAL_CHARACTER);
    EXPECT_EQ(open("\"(NOBODY)X\"", "wb"), NAME_NO_SUCH_USER);
    EXPECT_EQ(open("/etc/passwd", "rb"), NAME_ILLEGAL_CHARACTER);
    EXPECT_EQ(tree_.listing(), before);
    output_.take();
    ASSERT_EQ(open("\"ABCDEFGHIJKLMNOP:DATA\"", "wb"), 0) << "sixteen letters are fine";
}

TEST_F(Opener, TheTerminalDevice) {
    ASSERT_EQ(open("(SYSTEM)TERMINAL", "rb"), 0);
    EXPECT_EQ(stream_, stdin);
    ASSERT_EQ(open("(SYSTEM)TERMINAL", "r"), 0);
    EXPECT_EQ(stream_, stdin);
    for (const char *mode : {"w", "wb", "w+", "a"}) {
        ASSERT_EQ(open("(SYSTEM)TERMINAL", mode), 0) << mode;
        EXPECT_EQ(stream_, stdout);
    }
    output_.take();
    EXPECT_EQ(open("(SYSTEM)TERMINAL", "r+"), -1);
    EXPECT_EQ(output_.take(), "\r\ns3_fopen, cannot handle TERMINAL access code r+\r\n");
    settings.debug_level = 7;
    ASSERT_EQ(open("(SYSTEM)TERMINAL", "wb"), 0);
    EXPECT_EQ(output_.take(), "\r\nOpen TERMINAL device\r\n");
    EXPECT_TRUE(tree_.exists("(SYSTEM)/TERMINAL.SYMB"));
}

TEST_F(Opener, EmptyAnswers) {
    FILE *answers = std::tmpfile();
    std::fputs("\n\n", answers);
    std::rewind(answers);
    shell.prompt_input = answers;
    EXPECT_EQ(open("", "wb", "SYMB", "&Output file: "), 0);
    EXPECT_EQ(stream_, stdout);
    EXPECT_EQ(open("", "r", "SYMB", "&Input file: "), 0);
    EXPECT_EQ(stream_, stdin);
    EXPECT_EQ(output_.take(), "Output file: \nInput file: \n") << "prompt and echoed answer";
    std::rewind(answers);
    EXPECT_EQ(open("", "rb", "SYMB", "File: "), OPEN_CANCELLED);
    EXPECT_EQ(output_.take(), "File: \nYou must enter a file name!\r\n");
    shell.prompt_input = nullptr;
    std::fclose(answers);
}

TEST_F(Opener, AHostFileThatCannotBeOpened) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop the superuser";
    std::filesystem::permissions("(EMULATOR)/ABC.SYMB", std::filesystem::perms::owner_write);
    EXPECT_EQ(open("ABC.SYMB", "rb"), OPEN_FAILED);
    std::string text = output_.take();
    EXPECT_NE(text.find("\r\nFailed to open ./(EMULATOR)/ABC.SYMB\r\n"), std::string::npos) << text;
}

} // namespace

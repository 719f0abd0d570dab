// A temporary working directory of ND users for the file-system tests, and
// the operator output captured into a string.
#pragma once

#include "filesystem/open_files.h"
#include "filesystem/reservations.h"
#include "filesystem/users.h"
#include "shell/settings.h"
#include "shell/shell.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <initializer_list>
#include <iterator>
#include <string>
#include <unistd.h>

// Makes a fresh directory, changes into it (the code works with "./(USER)"
// paths) and changes back and removes it at the end.
class TemporaryNdTree {
  public:
    explicit TemporaryNdTree(std::initializer_list<const char *> users = {"SYSTEM", "RT", "SCRATCH",
                                                                          "EMULATOR"}) {
        char pattern[] = "/tmp/kestrel-fs-XXXXXX";
        char *made = mkdtemp(pattern);
        EXPECT_NE(made, nullptr);
        root_ = made ? made : "";
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(root_);
        for (const char *user : users)
            make_user(user);
    }
    ~TemporaryNdTree() {
        std::filesystem::current_path(previous_);
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    TemporaryNdTree(const TemporaryNdTree &) = delete;
    TemporaryNdTree &operator=(const TemporaryNdTree &) = delete;

    void make_user(const std::string &user) const {
        std::filesystem::create_directory("(" + user + ")");
    }
    void write(const std::string &relative, const std::string &content) const {
        std::ofstream file(relative, std::ios::binary);
        file << content;
    }
    std::string read(const std::string &relative) const {
        std::ifstream file(relative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    bool exists(const std::string &relative) const {
        return std::filesystem::exists(std::filesystem::symlink_status(relative));
    }
    // Every path below the root, for checking that nothing changed.
    std::string listing() const {
        std::string text;
        for (const auto &entry : std::filesystem::recursive_directory_iterator("."))
            text += entry.path().string() +
                    (entry.is_regular_file() ? ":" + std::to_string(entry.file_size())
                                             : std::string()) +
                    "\n";
        return text;
    }
    const std::string &root() const { return root_; }

  private:
    std::string root_;
    std::filesystem::path previous_;
};

// Sends the operator output (and prompts) to a temporary file for the life
// of the object.
class CapturedOutput {
  public:
    CapturedOutput() : file_(std::tmpfile()) {
        shell.operator_output = file_;
        shell.echo_stream = file_;
    }
    ~CapturedOutput() {
        shell.operator_output = stdout;
        shell.echo_stream = stdout;
        std::fclose(file_);
    }
    CapturedOutput(const CapturedOutput &) = delete;
    CapturedOutput &operator=(const CapturedOutput &) = delete;

    // Everything written since the last take.
    std::string take() {
        std::fflush(file_);
        long end = std::ftell(file_);
        std::string text(static_cast<size_t>(end - taken_), '\0');
        std::fseek(file_, taken_, SEEK_SET);
        size_t got = std::fread(text.data(), 1, text.size(), file_);
        text.resize(got);
        std::fseek(file_, end, SEEK_SET);
        taken_ = end;
        return text;
    }

  private:
    FILE *file_;
    long taken_ = 0;
};

// Clean tables, the users of the current directory scanned, and EMULATOR
// logged in when it exists.
inline void start_file_system() {
    reset_settings();
    reset_user_table();
    reset_user_file_list();
    reset_reservations();
    shell.program_command_pending = 0;
    shell.prompt_input = nullptr;
    scan_users();
    for (int i = 0; i < user_table.count; ++i)
        if (user_table.names[i] == "EMULATOR") user_table.current_user_index = i;
}

// Places `line` as the rest of the command line that argument readers take
// their arguments from.
inline void set_arguments(const std::string &line) {
    std::snprintf(shell.command_line, COMMAND_LINE_SIZE, "%s", line.c_str());
    shell.argument_position = 0;
}

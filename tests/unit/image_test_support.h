// A clean emulator in a temporary ND directory tree for the image, segment,
// execution and monitor-call tests: shell commands are executed as the command
// loop does, with the operator output captured.
#pragma once

#include "console/terminal.h"
#include "cpu/cycle.h"
#include "cpu/machine.h"
#include "filesystem/open_files.h"
#include "filesystem/reservations.h"
#include "filesystem/users.h"
#include "images/prog_image.h"
#include "images/segments.h"
#include "shell/debug_aids.h"
#include "shell/execution.h"
#include "shell/settings.h"
#include "shell/shell.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

// Bytes of a :PROG image: the header fields, then `words` big-endian, and for
// a 2-bank image the data words from byte 131584 on.
inline std::vector<uint8_t> prog_bytes(uint32_t start, uint32_t restart, uint32_t low,
                                       uint32_t high, uint32_t data_low, uint32_t data_high,
                                       const std::vector<uint32_t> &words,
                                       const std::vector<uint32_t> &data = {}) {
    std::vector<uint8_t> bytes(512, 0);
    uint32_t fields[6] = {start, restart, low, high, data_low, data_high};
    for (int i = 0; i < 6; ++i) {
        bytes[2 * i] = static_cast<uint8_t>(fields[i] >> 8);
        bytes[2 * i + 1] = static_cast<uint8_t>(fields[i]);
    }
    for (uint32_t w : words) {
        bytes.push_back(static_cast<uint8_t>(w >> 8));
        bytes.push_back(static_cast<uint8_t>(w));
    }
    if (!data.empty()) {
        bytes.resize(131584, 0);
        for (uint32_t w : data) {
            bytes.push_back(static_cast<uint8_t>(w >> 8));
            bytes.push_back(static_cast<uint8_t>(w));
        }
    }
    return bytes;
}

class ShellTree : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/kestrel-images-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        for (const char *user : {"(SYSTEM)", "(RT)", "(SCRATCH)", "(EMULATOR)"})
            std::filesystem::create_directory(root_ / user);
        old_directory_ = std::filesystem::current_path();
        std::filesystem::current_path(root_);

        reset_machine();
        reset_settings();
        reset_debug_state();
        reset_terminal_state();
        reset_open_file_table();
        reset_reservations();
        reset_image_state();
        reset_execution_state();
        clear_segment_table();
        install_instruction_set();
        reset_user_table();
        scan_users();
        user_table.current_user_index = find_user_exact(user_table.current_user_name);

        output_ = open_memstream(&output_buffer_, &output_size_);
        no_answers_ = std::tmpfile();
        shell.operator_output = output_;
        shell.echo_stream = output_;
        shell.prompt_input = no_answers_;
        shell.mode_input = nullptr;
        shell.program_command_pending = 0;
        cpu_running = 0;
    }

    void TearDown() override {
        shell.operator_output = stdout;
        shell.echo_stream = stdout;
        shell.prompt_input = nullptr;
        std::fclose(output_);
        std::free(output_buffer_);
        std::fclose(no_answers_);
        close_all_files(CLOSE_EVERYTHING);
        reset_reservations();
        std::filesystem::current_path(old_directory_);
        std::filesystem::remove_all(root_);
    }

    // Executes one shell line and returns what it wrote to the operator
    // output.
    std::string run(const std::string &line) {
        std::fflush(output_);
        size_t mark = output_size_;
        execute_command_line(line.c_str());
        std::fflush(output_);
        return std::string(output_buffer_ + mark, output_size_ - mark);
    }

    // Everything written to the operator output so far.
    std::string output() {
        std::fflush(output_);
        return std::string(output_buffer_, output_size_);
    }

    void write_file(const std::string &relative, const std::vector<uint8_t> &bytes) {
        std::ofstream out(root_ / relative, std::ios::binary);
        out.write(reinterpret_cast<const char *>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    void write_text(const std::string &relative, const std::string &text) {
        std::ofstream out(root_ / relative, std::ios::binary);
        out << text;
    }
    std::vector<uint8_t> read_file(const std::string &relative) {
        std::ifstream in(root_ / relative, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
    }
    std::string read_text(const std::string &relative) {
        auto bytes = read_file(relative);
        return std::string(bytes.begin(), bytes.end());
    }
    bool exists(const std::string &relative) { return std::filesystem::exists(root_ / relative); }

    std::filesystem::path root_;

  private:
    std::filesystem::path old_directory_;
    FILE *output_ = nullptr;
    FILE *no_answers_ = nullptr;
    char *output_buffer_ = nullptr;
    size_t output_size_ = 0;
};

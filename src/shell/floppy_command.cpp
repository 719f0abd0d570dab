// |extract-floppy-image: lists an ND volume image and extracts its files into
// the current user's directory.
#include "filesystem/file_names.h"
#include "filesystem/open_files.h"
#include "filesystem/users.h"
#include "floppy/floppy.h"
#include "operator/operator_channel.h"
#include "shell/commands.h"

#include <cstdio>

void cmd_extract_floppy_image() {
    std::fprintf(shell.operator_output,
                 "\r\nNorsk Data filesystem inspector, lister and extractor.");
    std::fprintf(shell.operator_output,
                 "\r\nThe files of the volume are written into the directory of user %s.\r\n\r\n",
                 user_table.current_user_name.c_str());
    FILE *image = nullptr;
    if (s3_fopen(&image, "\r\nFrom file: ", "rb", "IMAG") < 0) return;
    std::fflush(shell.operator_output);
    if (image == stdin) {
        // The terminal device names the operator's own input, not an image.
        std::fprintf(stderr, "Error reading master block\n\r\nAn error occured, bad floppy image?");
        std::fflush(stderr);
        return;
    }
    extract_floppy_image(image, user_directory(user_table.current_user_name), stdout, stderr,
                         last_opened_file_name, file_in_use);
    std::fclose(image);
}

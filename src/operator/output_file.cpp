#include "operator/output_file.h"

#include "host/host.h"

#include <cerrno>
#include <cstring>

namespace {

bool is_console(const FILE *stream) {
    return stream == stdout || stream == stdin;
}

bool note_failure(OutputFile &file) {
    if (!file.error) file.error = errno ? errno : EIO;
    return false;
}

} // namespace

bool output_bytes(OutputFile &file, const void *data, size_t length) {
    if (file.error) return false;
    return host_write_bytes(file.stream, data, length) || note_failure(file);
}

bool output_byte(OutputFile &file, int byte) {
    unsigned char value = static_cast<unsigned char>(byte);
    return output_bytes(file, &value, 1);
}

bool output_text(OutputFile &file, const std::string &text) {
    return output_bytes(file, text.data(), text.size());
}

bool output_flush(OutputFile &file) {
    if (file.error) return false;
    if (is_console(file.stream)) {
        std::fflush(file.stream);
        return true;
    }
    return host_flush(file.stream) || note_failure(file);
}

bool finish_output(OutputFile &file, FILE *report) {
    if (file.stream && is_console(file.stream)) {
        std::fflush(file.stream);
    } else if (file.stream) {
        output_flush(file);
        if (!host_close(file.stream) && !file.error) note_failure(file);
    }
    file.stream = nullptr;
    if (!file.error) return true;
    // What reached the file is what the host holds of it now.
    std::fprintf(report, "\r\nCould not write %s: %s; it is incomplete at %llu bytes\r\n",
                 file.path.c_str(), std::strerror(file.error),
                 static_cast<unsigned long long>(host_file_info(file.path).size));
    return false;
}

bool finish_written_stream(FILE *stream, const std::string &name, FILE *report) {
    if (host_close(stream)) return true;
    std::fprintf(report, "\r\nCould not write %s: %s; it is incomplete\r\n", name.c_str(),
                 std::strerror(errno));
    return false;
}

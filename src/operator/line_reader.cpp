#include "operator/line_reader.h"

#include "console/terminal.h"
#include "host/host.h"
#include "operator/operator_channel.h"

static int read_console_line(char *buffer, int size) {
    int length = 0;
    buffer[0] = '\0';
    for (;;) {
        // ^C, whether it came before the read or cut it short, discards the
        // line and ends the read as the end of the console input does, so
        // that a command waiting for an argument ends too.
        if (interrupt_seen) {
            buffer[0] = '\0';
            report_idle_interrupt();
            shell.console_read_interrupted = 1;
            return CONSOLE_EOF;
        }
        int byte = host_read_byte(-1);
        if (byte == HOST_INTERRUPTED || interrupt_seen)
            continue;
        if (byte == HOST_EOF) {
            // A line cut short by a termination signal is never taken.
            if (length > 0 && !host_must_end())
                return length;
            buffer[0] = '\0';
            return CONSOLE_EOF;
        }
        if (byte == '\n') {
            page_pause('\n');
            return length;
        }
        if (byte == '\r')
            continue;
        if (byte == 8) {
            if (length > 0)
                buffer[--length] = '\0';
            continue;
        }
        if (length < size - 1) {
            buffer[length++] = static_cast<char>(byte);
            buffer[length] = '\0';
        }
    }
}

int read_line(FILE *stream, char *buffer, int size) {
    if (shell.prompt_input)
        stream = shell.prompt_input;
    if (!stream)
        return read_console_line(buffer, size);
    int length = 0;
    buffer[0] = '\0';
    for (;;) {
        int c = std::fgetc(stream);
        if (c == EOF)
            return -1;
        c &= 0177;
        if (shell.echo_stream)
            std::fputc(c, shell.echo_stream);
        if (c == '\n')
            return length;
        if (c == '\r')
            continue;
        if (length < size - 1) {
            buffer[length++] = static_cast<char>(c);
            buffer[length] = '\0';
        }
    }
}

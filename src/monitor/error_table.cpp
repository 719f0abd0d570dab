#include "monitor/error_table.h"

// Codes are octal, in the order the lookup searches them.
const ErrorTableEntry error_table[] = {
    {0, "NO SUCH ERROR"},
    {01, "Emulator could not create file"},
    {02, "BAD FILE NUMBER"},
    {03, "END OF FILE"},
    {05, "DEVICE NOT RESERVED"},
    {06, "Emulator could not rename file"},
    {021, "ILLEGAL CHARACTER IN PARAMETER"},
    {022, "NO SUCH PAGE"},
    {025, "YOU ARE NOT AUTHORIZED TO DO THIS"},
    {026, "DIRECTORY NOT ENTERED"},
    {033, "NO SUCH LOGICAL UNIT"},
    {036, "BIT FILE TRANSFER ERROR (impossible in emulator)"},
    {044, "TOO LONG PARAMETER"},
    {045, "AMBIGUOUS USER NAME"},
    {046, "NO SUCH USER NAME"},
    {051, "USER ALREADY EXISTS"},
    {052, "USER HAS FILES"},
    {054, "NOT SO MUCH SPACE UNRESERVED IN DIRECTORY"},
    {056, "NO SUCH FILE NAME"},
    {057, "AMBIGUOUS FILE NAME"},
    {070, "NOT DIRECTORY ACCESS"},
    {076, "FILE ALREADY EXISTS"},
    {077, "ATTEMPT TO CREATE TOO MANY FILES"},
    {0104, "NO SUCH ACCESS CODE"},
    {0105, "FILE ALREADY OPEN"},
    {0106, "NOT WRITE ACCESS"},
    {0107, "ATTEMPT TO OPEN TOO MANY FILES"},
    {0110, "NOT WRITE AND APPEND ACCESS"},
    {0111, "NOT READ ACCESS"},
    {0112, "NOT READ, WRITE AND COMMON ACCESS"},
    {0113, "NOT READ AND WRITE ACCESS"},
    {0114, "NOT READ AND COMMON ACCESS"},
    {0116, "FILE ALREADY OPENED FOR WRITE BY YOU"},
    {0117, "NO SUCH USER INDEX"},
    {0120, "NOT APPEND ACCESS"},
    {0121, "ATTEMPT TO OPEN TOO MANY MASS STORAGE FILES"},
    {0122, "ATTEMPT TO OPEN TOO MANY FILES"},
    {0123, "NOT OPEN FOR SEQUENTIAL WRITE"},
    {0124, "NOT OPEN FOR SEQUENTIAL READ"},
    {0125, "NOT OPEN FOR RANDOM WRITE"},
    {0126, "NOT OPEN FOR RANDOM READ"},
    {0127, "FILE NUMBER OUT OF RANGE"},
    {0132, "NO FILE OPENED WITH THIS NUMBER"},
    {0133, "NOT MASS STORAGE FILE"},
    {0136, "FILE ONLY OPEN FOR SEQUENTIAL READ OR WRITE"},
    {0137, "NO SCRATCH FILE OPEN"},
    {0143, "NO SUCH BLOCK"},
    {0250, "USER DOES NOT EXIST"},
    {0270, "FILE-ACCESS INTERNAL ERROR; CALL NOT VALID IN CURRENT STATE"},
    {0367, "Emulator error, could not allocate memory in MON144"},
    {0247, "OBJECT ENTRY NOT USED"},
    {0222, "Monitor call supports terminal only"},
    {-1, nullptr},
};

int find_error_index(int32_t code) {
    if (code < 0) return -1;
    for (int i = 0; error_table[i].code != -1; ++i)
        if (error_table[i].code == code) return i;
    return -1;
}

const char *error_text(int32_t code) {
    int index = find_error_index(code);
    return index < 0 ? nullptr : error_table[index].text;
}

// Checks, on the real C runtime, the bounded formatting the program is linked with: it never
// writes past the size it is given, always terminates the text and returns the full length.
// Prints one line per failed check and exits with 1 if there was any.
#include <cstdio>
#include <cstring>

namespace {

int Failures = 0;

void Check(bool ok, const char* what, const char* seen) {
    if (!ok) {
        std::printf("FAIL %s: saw \"%s\"\n", what, seen);
        ++Failures;
    }
}

struct Case {
    const char* what;
    int size; // given to snprintf
    int number;
    const char* port;
    const char* text; // what the buffer must hold afterwards
    int length;       // what snprintf must return
};

} // namespace

int main() {
    constexpr char Format[] = "CreateFile error code = %d on port %s";
    const Case cases[] = {
        {"longest status line fits", 80, -2147483647 - 1,
         "LPT3:", "CreateFile error code = -2147483648 on port LPT3:", 49},
        {"exact fit", 40, 2, "LPT2:", "CreateFile error code = 2 on port LPT2:", 39},
        {"one short loses the last character", 39, 2,
         "LPT2:", "CreateFile error code = 2 on port LPT2", 39},
        {"small buffer is cut and terminated", 8, 2, "LPT2:", "CreateF", 39},
        {"size one gives an empty text", 1, 2, "LPT2:", "", 39},
    };
    for (const Case& c : cases) {
        // A guard band after the given size must stay untouched.
        char buffer[128];
        std::memset(buffer, '#', sizeof buffer);
        const int length = std::snprintf(buffer, c.size, Format, c.number, c.port);
        const bool terminated = std::memchr(buffer, '\0', c.size) != nullptr;
        Check(terminated, c.what, "no terminator");
        if (terminated)
            Check(std::strcmp(buffer, c.text) == 0, c.what, buffer);
        bool guardIntact = true;
        for (int i = c.size; i < static_cast<int>(sizeof buffer); ++i)
            guardIntact = guardIntact && buffer[i] == '#';
        Check(guardIntact, c.what, "write past the given size");
        char lengthText[16];
        std::snprintf(lengthText, sizeof lengthText, "%d", length);
        Check(length == c.length, c.what, lengthText);
    }
    std::printf("%s\n", Failures == 0 ? "format checks passed" : "format checks FAILED");
    return Failures == 0 ? 0 : 1;
}

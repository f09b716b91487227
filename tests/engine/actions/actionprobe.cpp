// Stands in for an action's program, without Qt so that it runs anywhere the tests do:
//   actionprobe record FILE   writes its arguments, SENVO_* and its standard input to FILE
//   actionprobe fail          says why on its error output and exits 3
//   actionprobe hang          never ends on its own
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

int main(int argc, char **argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "record") == 0) {
        std::FILE *out = std::fopen(argv[2], "wb");
        if (!out)
            return 2;
        for (int i = 3; i < argc; ++i)
            std::fprintf(out, "argument=%s\n", argv[i]);
        for (const char *name : {"SENVO_SUMMARY", "SENVO_STATE", "SENVO_HOSTS"}) {
            const char *value = std::getenv(name);
            std::fprintf(out, "%s=%s\n", name, value ? value : "(unset)");
        }
        char buffer[4096];
        std::size_t read = 0;
        while ((read = std::fread(buffer, 1, sizeof buffer, stdin)) > 0)
            std::fwrite(buffer, 1, read, out);
        return std::fclose(out) == 0 ? 0 : 2;
    }
    if (argc >= 2 && std::strcmp(argv[1], "fail") == 0) {
        std::fputs("the pager is out of paper\nsecond line\n", stderr);
        return 3;
    }
    if (argc >= 2 && std::strcmp(argv[1], "hang") == 0) {
        for (;;) {
#ifdef _WIN32
            Sleep(1000);
#else
            sleep(1);
#endif
        }
    }
    return 1;
}

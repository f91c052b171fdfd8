// The Windows entry code that SDL 1.2 gave its programs: the argument list
// built from the command line, standard output and standard error into
// stdout.txt and stderr.txt in the working directory (a program of the GUI
// subsystem has neither), both removed again at exit when nothing was
// written, then the program's main routine, renamed SDL_main by SDL.h.
#include <SDL2/SDL.h>

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

extern "C" int SDL_main(int argc, char **argv);

static const char *const MAIN_OUT = "stdout.txt";
static const char *const MAIN_ERR = "stderr.txt";

// Closes the stream and removes its file when it stayed empty.
static void Main_CloseFile(FILE *stream, const char *name)
{
    fflush(stream);
    const bool empty = ftell(stream) == 0;
    fclose(stream);
    if (empty)
        remove(name);
}

static void Main_CloseFiles(void)
{
    Main_CloseFile(stdout, MAIN_OUT);
    Main_CloseFile(stderr, MAIN_ERR);
}

// Into the file when it can be made; where it cannot (a read-only folder),
// the stream stays as it was rather than closed.
static void Main_Redirect(FILE *stream, const char *name)
{
    FILE *probe = fopen(name, "w");
    if (!probe)
        return;
    fclose(probe);
    freopen(name, "w", stream);
}

// The arguments in the system's code page, which the C runtime's fopen
// takes as they are.
static std::vector<char *> Main_Arguments(void)
{
    std::vector<char *> argv;
    int argc = 0;
    LPWSTR *wide = CommandLineToArgvW(GetCommandLineW(), &argc);
    for (int i = 0; wide && i < argc; i++) {
        int size = WideCharToMultiByte(CP_ACP, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        char *arg = (char *)calloc(size > 0 ? size : 1, 1);
        if (!arg)
            break;
        if (size > 0)
            WideCharToMultiByte(CP_ACP, 0, wide[i], -1, arg, size, nullptr, nullptr);
        argv.push_back(arg);
    }
    if (wide)
        LocalFree(wide);
    if (argv.empty())
        argv.push_back((char *)"player");
    argv.push_back(nullptr);
    return argv;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show)
{
    (void)instance;
    (void)previous;
    (void)command_line;
    (void)show;
    std::vector<char *> argv = Main_Arguments();
    Main_Redirect(stdout, MAIN_OUT);
    Main_Redirect(stderr, MAIN_ERR);
    setvbuf(stderr, nullptr, _IONBF, 0);
    // Registered first, so it runs last: after the program's own exit
    // handlers (SDL_Quit) have printed what they print.
    atexit(Main_CloseFiles);
    // SDL2 refuses to start until its entry code has run; this is it.
    SDL_SetMainReady();
    exit(SDL_main((int)argv.size() - 1, argv.data()));
}

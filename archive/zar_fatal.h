// Internal to the archive reader and its fuzz target: how a reader failure
// ends. The player's build prints the failure's line on standard output and
// exits with status 1. A build with ZAR_FATAL_LONGJMP defined (the fuzz
// target compiles zar.cpp itself with it) jumps back to zar_fatal_jump
// instead, leaving the line in zar_fatal_text; every buffer the reader had in
// flight is still held in its module state, and ZAR_Close releases it.
#pragma once

#ifdef ZAR_FATAL_LONGJMP
#include <csetjmp>

extern jmp_buf zar_fatal_jump;
extern const char *zar_fatal_text; // "" for the silent failures
#endif

// The GL layer over WebGL 2: its ES functions come from the context that
// main made current, through emscripten's lookup of the WebGL functions it
// links in.
#include <emscripten/html5.h>

#include <cstdio>

#include "render/gl1es.h"
#include "web/web.h"

static void *Web_GetProc(const char *name)
{
    return emscripten_webgl_get_proc_address(name);
}

bool Web_InitGL(void)
{
    const char *missing = nullptr;
    if (!GL1ES_Init(Web_GetProc, &missing)) {
        printf("WebGL 2 lacks %s\n", missing ? missing : "a function the GL layer needs");
        return false;
    }
    return true;
}

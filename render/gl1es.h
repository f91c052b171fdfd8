// The scenes' OpenGL 1.x over OpenGL ES 3.0 (or WebGL 2): immediate mode,
// display lists, matrix stacks and the fixed-function texturing and blending
// the demo uses, drawn with one small family of shaders.
//
// The layer defines the GL 1.x and GLU entry points the player and the
// capture tool call under their standard names, so the same objects link
// either to the system's GL or to this layer. The ES functions it draws
// with sit in one table filled from a lookup function, never called by
// name, so nothing here clashes with an ES library and none is linked.
//
// Exactness: the layer does what Mesa's fixed-function path does, in the same
// 32-bit float operations and order (matrix products on the CPU, the vertex
// transform as one multiply and three multiply-adds, colours clamped per
// vertex, quads split on the diagonal the fixed-function draw takes), so that
// on the same rasteriser the frames agree byte for byte.
//
// Not thread-safe: one context, one thread, like the GL it stands in for.
#pragma once

#include <cstddef>

// Needs a current ES 3 / WebGL 2 context. Fills the function table through
// getproc, compiles the shaders and sets the GL 1.x initial state. False
// when a function is missing (its name in *missing) or a shader does not
// build (the ES info log in *missing); the layer is then left shut down.
bool GL1ES_Init(void *(*getproc)(const char *name), const char **missing);
// Releases every buffer, texture, shader and list, and clears the table.
// The context must still be current. Safe to call when not initialised.
void GL1ES_Shutdown(void);

// What the layer holds and has counted since GL1ES_Init, for tests and reports.
struct gl1es_stats_t {
    unsigned stack_overflows;       // glPushMatrix on a full stack (ignored)
    unsigned stack_underflows;      // glPopMatrix on the last matrix (ignored)
    unsigned unknown_list_calls;    // glCallList of a number with no list (ignored)
    unsigned unsupported;           // valid GL 1.x the layer does not draw (flat shading, lines, lighting...)
    unsigned lists;                 // display lists defined now
    unsigned textures;              // ES textures held now (one per picture in a list, one for uploads outside)
    size_t texture_bytes;           // their pixels as uploaded (RGB8)
    size_t buffer_bytes;            // ES vertex and index buffers held now
    unsigned long draws;            // ES draw calls made
    unsigned long state_calls;      // ES state calls made (program, uniforms, enables, bindings...)
};
void GL1ES_GetStats(gl1es_stats_t *stats);
